#pragma once

#include <cstdint>

// Window message numbers shared by the console's windows, the control object and the other
// programs of the product. The private ones are WM_USER (1024) plus a fixed offset; other
// programs and stored habits rely on the numbers, so never renumber one.
//
//   directory.SendToWindow(0, hv::WM_SHOW_MAIN, 1, 0);
//
// Handlers switch on these constants; unknown numbers are answered with 0.
namespace hv {

// Platform numbers (same values as the desktop system the product came from).
inline constexpr unsigned WM_NULL = 0x0000;
inline constexpr unsigned WM_DESTROY = 0x0002;
inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_QUIT = 0x0012;
inline constexpr unsigned WM_SHOWWINDOW = 0x0018;
inline constexpr unsigned WM_COPYDATA = 0x004A;
inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WM_SYSCOMMAND = 0x0112;
inline constexpr unsigned WM_USER = 0x0400;  // 1024

// Registered messages (RegisterWindowMessage) live in 0xC000..0xFFFF; see MessageBus.h.
inline constexpr unsigned WM_REGISTERED_FIRST = 0xC000;
inline constexpr unsigned WM_REGISTERED_LAST = 0xFFFF;

// --- Control object and main window -------------------------------------------------------
inline constexpr unsigned WM_NOTIFY_CLOSED = WM_USER + 1002;                // 2026 pop-up window closed
inline constexpr unsigned WM_POSTCREATE_INIT = WM_USER + 1030;              // 2054 finish start-up
inline constexpr unsigned WM_NOTIFY_CLICK = WM_USER + 1427;                 // 2451 notice button pressed
inline constexpr unsigned WM_WORK_VIEW = WM_USER + 2000;                    // 3024 1 work step, 0 login
inline constexpr unsigned WM_AGENT_MODULE_UPDATE = WM_USER + 3069;          // 4093 run the updater
inline constexpr unsigned WM_STEP_PENDING = WM_USER + 7004;                 // 8028
inline constexpr unsigned WM_OPEN_SESSIONSERVER = WM_USER + 7008;           // 8032
inline constexpr unsigned WM_RECONNECT_STATE = WM_USER + 7009;              // 8033
inline constexpr unsigned WM_READY_LAYOUT = WM_USER + 7010;                 // 8034
inline constexpr unsigned WM_SHOW_PASSWORD_DIALOG = WM_USER + 7013;         // 8037
inline constexpr unsigned WM_SHOW_CONNECTION_CLOSED = WM_USER + 7014;       // 8038
inline constexpr unsigned WM_AUTO_LOGOUT = WM_USER + 7022;                  // 8046 1 start, 0 stop
inline constexpr unsigned WM_LOGOUT_QUESTION = WM_USER + 7024;              // 8048 returns 6 for yes
inline constexpr unsigned WM_LOGIN_START = WM_USER + 7036;                  // 8060
inline constexpr unsigned WM_SHOW_MAIN = WM_USER + 7038;                    // 8062 1 show, 0 hide
inline constexpr unsigned WM_SESSIONLIST_ITEM_REMOVE_ALL = WM_USER + 7045;  // 8069
inline constexpr unsigned WM_SHOW_WAITLIST = WM_USER + 7046;                // 8070
inline constexpr unsigned WM_INIT_LOGOUT = WM_USER + 7052;                  // 8076
inline constexpr unsigned WM_LOGIN_COMPLATE = WM_USER + 7053;               // 8077
inline constexpr unsigned WM_LOGIN_UPDATE_CHECK = WM_USER + 7057;           // 8081
inline constexpr unsigned WM_NOTIFY_TRANSFER = WM_USER + 7060;              // 8084
inline constexpr unsigned WM_NOTIFY_SHARE = WM_USER + 7061;                 // 8085
inline constexpr unsigned WM_NOTIFY_SUPPORT_REQUEST = WM_USER + 7062;       // 8086
inline constexpr unsigned WM_NOTIFY_REMOVE = WM_USER + 7063;                // 8087
inline constexpr unsigned WM_NOTIFY_REMOVE_ALL = WM_USER + 7065;            // 8089
inline constexpr unsigned WM_NOTICE_DIALOG = WM_USER + 7066;                // 8090
inline constexpr unsigned WM_URGENT_NOTICE_DIALOG = WM_USER + 7067;         // 8091
inline constexpr unsigned WM_CLEAR_PANELS = WM_USER + 7096;                 // 8120
inline constexpr unsigned WM_WEBQUERY_USERNAME = WM_USER + 7097;            // 8121
inline constexpr unsigned WM_AGENT_KILLED = WM_USER + 7098;                 // 8122
inline constexpr unsigned WM_LOGIN_RESET = WM_USER + 7099;                  // 8123
inline constexpr unsigned WM_NEW_VERSION_NOTICE = WM_USER + 7100;           // 8124
inline constexpr unsigned WM_SHOW_MESSAGEBOX = WM_USER + 7101;              // 8125 MessageBoxRequest
inline constexpr unsigned WM_SET_STEP = WM_USER + 7102;                     // 8126

// --- Messages only the main window handles --------------------------------------------------
inline constexpr unsigned WM_SHOW_LICENSE = WM_USER + 1426;          // 2450 open the licence text
inline constexpr unsigned WM_MAINMENU_CLOSED = WM_USER + 3000;       // 4024 release the menu button
inline constexpr unsigned WM_SHOW_TEXT_MESSAGEBOX = WM_USER + 7006;  // 8030 text in wParam, style in lParam
inline constexpr unsigned WM_TRAY_NOTIFY = WM_USER + 7035;           // 8059 tray icon mouse events
inline constexpr unsigned WM_SHOW_SESSION_DIALOG = WM_USER + 7039;   // 8063 running sessions dialog
inline constexpr unsigned WM_NOTICE_STOP_SHOWING = WM_USER + 7068;   // 8092 notice window closed
inline constexpr unsigned WM_SHOW_NETWORK_SETTINGS = WM_USER + 7085; // 8109
inline constexpr unsigned WM_SHOW_ABOUT = WM_USER + 7086;            // 8110
inline constexpr unsigned WM_MENU_END = WM_USER + 7087;              // 8111 post WM_CLOSE
inline constexpr unsigned WM_CLOSE_APPLICATION = WM_USER + 7201;     // 8225 OnCloseApplication
inline constexpr unsigned WM_DRAG_WINDOW = WM_USER + 7202;           // 8226 follow the cursor
inline constexpr unsigned WM_FAVORITE_FORWARD = WM_USER + 17075;     // 18099 passed on to window 9

// --- Session list ---------------------------------------------------------------------------
inline constexpr unsigned WM_SESSIONLIST_ITEM_SET = WM_USER + 7041;            // 8065
inline constexpr unsigned WM_SESSIONLIST_ITEM_REMOVE = WM_USER + 7042;         // 8066
inline constexpr unsigned WM_SESSIONLIST_ITEM_BY_GUID = WM_USER + 7048;        // 8072
inline constexpr unsigned WM_SESSIONLIST_ITEM_BY_ROOM = WM_USER + 7054;        // 8078
inline constexpr unsigned WM_SESSIONLIST_VIEWER_WINDOW = WM_USER + 7055;       // 8079
inline constexpr unsigned WM_REMOVE_ITEM = WM_USER + 7203;                     // 8227 posted by the alive check
inline constexpr unsigned WM_SESSIONLIST_ITEM_SESSION_CLOSE = WM_USER + 7301;  // 8325
inline constexpr uintptr_t SESSION_REMOVEALL_CLOSE = 1000;

// --- Work panels, login window, standby panel, agent bar ------------------------------------
inline constexpr unsigned WM_PAGE_TAKE_FOCUS = WM_USER + 1001;         // 2025
inline constexpr unsigned WM_PANEL_SWITCH_END = WM_USER + 1003;        // 2027 slide animation ended
inline constexpr unsigned WM_DIALOG_BUTTON_ENABLE = WM_USER + 1005;    // 2029 lParam 1 enable first button
inline constexpr unsigned WM_WHEEL_QUERY = WM_USER + 1021;             // 2045 asked before forwarding a wheel turn
inline constexpr unsigned WM_DIALOG_MESSAGEBOX = WM_USER + 1032;       // 2056 message-box request record
inline constexpr unsigned WM_PROFILE_EDITOR_CLOSE = WM_USER + 2002;    // 3026 1 after Apply, 0 after Cancel
inline constexpr unsigned WM_PROFILE_EDITOR = WM_USER + 2001;          // 3025 1 open, 0 close; the main window disables its side tabs
inline constexpr unsigned WM_DIALOG_ENABLE = WM_USER + 3072;           // 4096 1 enable, 0 disable
inline constexpr unsigned WM_AGENTBAR_NAME = WM_USER + 7005;           // 8029 new display name text
inline constexpr unsigned WM_PROFILE_LOADED = WM_USER + 7007;          // 8031 RETCODE of the profile load
inline constexpr unsigned WM_LOGIN_GET_ID = WM_USER + 7012;            // 8036 answers the ID edit's text
inline constexpr unsigned WM_STANDBY_GET_NUMBER = WM_USER + 7015;      // 8039
inline constexpr unsigned WM_STANDBY_GET_PROMPT = WM_USER + 7016;      // 8040
inline constexpr unsigned WM_STANDBY_ENABLE_START = WM_USER + 7017;    // 8041
inline constexpr unsigned WM_STANDBY_NEW_SUPPORT = WM_USER + 7018;     // 8042 as if start was pressed
inline constexpr unsigned WM_WAITLIST_REFRESH = WM_USER + 7019;        // 8043 fetch the list again
inline constexpr unsigned WM_PAGE_ACTIVATED = WM_USER + 7020;          // 8044
inline constexpr unsigned WM_PAGE_DEACTIVATING = WM_USER + 7021;       // 8045
inline constexpr unsigned WM_PANEL_BUSY = WM_USER + 7025;              // 8049 busy overlay
inline constexpr unsigned WM_WAITLIST_DETAIL_READY = WM_USER + 7034;   // 8058
inline constexpr unsigned WM_AGENTINFO_LOGOUT = WM_USER + 7037;        // 8061 logout with the question
inline constexpr unsigned WM_STANDBY_LOGIN_SUCCESS = WM_USER + 7044;   // 8068 prepare after sign-in
inline constexpr unsigned WM_PANEL_CURRENT_PAGE = WM_USER + 7047;      // 8071 answers the page index
inline constexpr unsigned WM_STANDBY_SET_NUMBER = WM_USER + 7059;      // 8083
inline constexpr unsigned WM_WAITLIST_SHOW_REQUEST = WM_USER + 7064;   // 8088 heap text with a guid
inline constexpr unsigned WM_FEEDBACK_RESULT = WM_USER + 7200;         // 8224 1 sent, 0 failed

// --- Copy-data identifiers (dwData of WM_COPYDATA) between the console and its programs ----
namespace copydata {
inline constexpr uint32_t RM_AGENT_ACTIVATE = 1102;
inline constexpr uint32_t RM_AGENT_SESSION_REJECTED = 1106;
inline constexpr uint32_t RM_CHAT_AGENT_CHECK = 1201;
inline constexpr uint32_t RM_CHAT_READY = 1202;
inline constexpr uint32_t RM_CHAT_CLOSE = 1204;
inline constexpr uint32_t RM_CHAT_CONNECT_HV60 = 1209;
inline constexpr uint32_t RM_CHAT_CLOSED_HV60 = 1210;
inline constexpr uint32_t RM_VIEWER_AGENT_CHECK = 1301;
inline constexpr uint32_t RM_VIEWER_READY = 1302;
inline constexpr uint32_t RM_VIEWER_CONNECT = 1304;
inline constexpr uint32_t RM_VIEWER_CLOSE = 1306;
inline constexpr uint32_t RM_VIEWER_REMOTEINFO = 1308;
inline constexpr uint32_t RM_VIEWER_CRM_CONNCODE = 1315;
inline constexpr uint32_t RM_VIEWER_SESSION_CLOSE = 1318;
inline constexpr uint32_t RM_VIEWER_RE_PREPARE = 1330;
inline constexpr uint32_t RM_VIEWER_SCREEN_CLOSE = 1333;
inline constexpr uint32_t RM_VIEWER_VOICECHAT = 1334;
inline constexpr uint32_t RM_REMOTECAM_SOUND_CLOSE = 1353;
}  // namespace copydata

// Names of the registered messages all programs of the product share.
inline constexpr char RM_APPLICATION_OPENED[] = "RM_APPLICATION_OPENED";
inline constexpr char RM_APPLICATION_CLOSED[] = "RM_APPLICATION_CLOSED";
inline constexpr char RM_APPLICATION_ALIVED[] = "RM_APPLICATION_ALIVED";
inline constexpr char RM_APPLICATION_FOREGROUND[] = "RM_APPLICATION_FOREGROUND";
inline constexpr char RM_APPLICATION_TOPMOST[] = "RM_APPLICATION_TOPMOST";

}  // namespace hv
