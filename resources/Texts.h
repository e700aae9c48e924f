// The Chinese texts the programs pass to the ANSI (code page 936, GBK) Win32 calls, as explicit GBK
// bytes, each with its text in a comment. Texts of dialogs and menus live in the .rc files instead
// (UTF-8, compiled by windres for code page 936). A unit test checks every line here: the bytes must
// be the GBK encoding of the comment.
#pragma once

#define TEXT_TOTAL_FRAMES "\xD7\xDC\xD6\xA1\xCA\xFD:"                  // 总帧数:
#define TEXT_STOP_RECORDING "\xCD\xA3\xD6\xB9\xC2\xBC\xCF\xF1"           // 停止录像
#define TEXT_EXE_FILTER "\xBF\xC9\xD6\xB4\xD0\xD0\xCE\xC4\xBC\xFE (*.exe)"  // 可执行文件 (*.exe)
#define TEXT_RECORDING_FAILED "\xC2\xBC\xCF\xF1\xCA\xA7\xB0\xDC"         // 录像失败
