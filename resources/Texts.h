// The Chinese texts the programs pass to the ANSI (code page 936, GBK) Win32 calls, as explicit GBK
// bytes, each with its text in a comment. Texts of dialogs and menus live in the .rc files instead
// (UTF-8, compiled by windres for code page 936). A unit test checks every line here: the bytes must
// be the GBK encoding of the comment.
#pragma once

#define TEXT_TOTAL_FRAMES "\xD7\xDC\xD6\xA1\xCA\xFD:"                  // 总帧数:
#define TEXT_STOP_RECORDING "\xCD\xA3\xD6\xB9\xC2\xBC\xCF\xF1"           // 停止录像
#define TEXT_EXE_FILTER "\xBF\xC9\xD6\xB4\xD0\xD0\xCE\xC4\xBC\xFE (*.exe)"  // 可执行文件 (*.exe)
#define TEXT_RECORDING_FAILED "\xC2\xBC\xCF\xF1\xCA\xA7\xB0\xDC"         // 录像失败
#define TEXT_NO_MEMORY "\xC4\xDA\xB4\xE6\xB2\xBB\xD7\xE3\xA3\xAC\xCE\xDE\xB7\xA8\xB2\xA5\xB7\xC5\xB4\xCB\xC2\xBC\xCF\xF1"  // 内存不足，无法播放此录像
#define TEXT_DISK_FULL "\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3"  // 磁盘空间不足
#define TEXT_FILE_LIMIT "\xCE\xC4\xBC\xFE\xD2\xD1\xB4\xEF\xC9\xCF\xCF\xDE"  // 文件已达上限
#define TEXT_PAUSED "\xD2\xD1\xD4\xDD\xCD\xA3"                           // 已暂停
#define TEXT_HOTKEY_UNAVAILABLE "\xBF\xEC\xBD\xDD\xBC\xFC\xB2\xBB\xBF\xC9\xD3\xC3"  // 快捷键不可用
