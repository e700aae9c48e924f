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
#define TEXT_NO_SOUND "\xCE\xB4\xC2\xBC\xB5\xBD\xC9\xF9\xD2\xF4"  // 未录到声音
#define TEXT_HOTKEY_UNAVAILABLE "\xBF\xEC\xBD\xDD\xBC\xFC\xB2\xBB\xBF\xC9\xD3\xC3"  // 快捷键不可用

// A step's description: what was pressed, “name”(role), and the top-level window, as in
// 左键单击“保存”(按钮)，窗口“另存为”. A double-click's second press says 双击 (left) or names its button.
#define TEXT_LEFT_CLICK "\xD7\xF3\xBC\xFC\xB5\xA5\xBB\xF7"                  // 左键单击
#define TEXT_RIGHT_CLICK "\xD3\xD2\xBC\xFC\xB5\xA5\xBB\xF7"                 // 右键单击
#define TEXT_MIDDLE_CLICK "\xD6\xD0\xBC\xFC\xB5\xA5\xBB\xF7"                // 中键单击
#define TEXT_LEFT_DOUBLE "\xCB\xAB\xBB\xF7"                                 // 双击
#define TEXT_RIGHT_DOUBLE "\xD3\xD2\xBC\xFC\xCB\xAB\xBB\xF7"                // 右键双击
#define TEXT_MIDDLE_DOUBLE "\xD6\xD0\xBC\xFC\xCB\xAB\xBB\xF7"               // 中键双击
#define TEXT_OPEN_QUOTE "\xA1\xB0"                                          // “
#define TEXT_CLOSE_QUOTE "\xA1\xB1"                                         // ”
#define TEXT_IN_WINDOW "\xA3\xAC\xB4\xB0\xBF\xDA\xA1\xB0"                   // ，窗口“
// Roles of the elements Active Accessibility finds, in the recorder's own words whatever the
// system's language; other roles take the system's role text.
#define TEXT_ROLE_BUTTON "\xB0\xB4\xC5\xA5"                                 // 按钮
#define TEXT_ROLE_CHECK "\xB8\xB4\xD1\xA1\xBF\xF2"                          // 复选框
#define TEXT_ROLE_RADIO "\xB5\xA5\xD1\xA1\xB0\xB4\xC5\xA5"                  // 单选按钮
#define TEXT_ROLE_EDIT "\xB1\xE0\xBC\xAD\xBF\xF2"                           // 编辑框
#define TEXT_ROLE_COMBO "\xD7\xE9\xBA\xCF\xBF\xF2"                          // 组合框
#define TEXT_ROLE_LIST "\xC1\xD0\xB1\xED"                                   // 列表
#define TEXT_ROLE_LIST_ITEM "\xC1\xD0\xB1\xED\xCF\xEE"                      // 列表项
#define TEXT_ROLE_TREE_ITEM "\xCA\xF7\xCF\xEE"                              // 树项
#define TEXT_ROLE_TAB "\xD1\xA1\xCF\xEE\xBF\xA8"                            // 选项卡
#define TEXT_ROLE_MENU_ITEM "\xB2\xCB\xB5\xA5\xCF\xEE"                      // 菜单项
#define TEXT_ROLE_MENU "\xB2\xCB\xB5\xA5"                                   // 菜单
#define TEXT_ROLE_MENU_BAR "\xB2\xCB\xB5\xA5\xC0\xB8"                       // 菜单栏
#define TEXT_ROLE_LINK "\xC1\xB4\xBD\xD3"                                   // 链接
#define TEXT_ROLE_TEXT "\xCE\xC4\xB1\xBE"                                   // 文本
#define TEXT_ROLE_TITLE_BAR "\xB1\xEA\xCC\xE2\xC0\xB8"                      // 标题栏
#define TEXT_ROLE_SCROLL_BAR "\xB9\xF6\xB6\xAF\xCC\xF5"                     // 滚动条
#define TEXT_ROLE_TOOL_BAR "\xB9\xA4\xBE\xDF\xC0\xB8"                       // 工具栏
// The player's caption at a step: "标题 - 步骤 3/7: 左键单击…".
#define TEXT_STEP " - \xB2\xBD\xD6\xE8 "                                    // \x20- 步骤\x20
