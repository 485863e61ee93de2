// Resource identifiers.
#pragma once

inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDS_ABOUT_MENU = 101;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDD_DIAL = 104;
inline constexpr int IDD_PORTS = 106;
inline constexpr int IDS_PORTS_MENU = 107;
inline constexpr int IDS_CHOOSE_PROGRAM = 108;
inline constexpr int IDS_NO_DISPLAY = 109;
inline constexpr int IDI_MAIN = 128;

// NetworkManager's answers during a dial (Linux only).
inline constexpr int IDS_NM_NO_ANSWER = 200;
inline constexpr int IDS_NM_UNKNOWN_CONNECTION = 201; // %1: the entry
inline constexpr int IDS_NM_REFUSED = 202;
inline constexpr int IDS_NM_NOT_AUTHORISED = 203;
inline constexpr int IDS_NM_NO_CARRIER = 204;
inline constexpr int IDS_NM_NO_DEVICE = 205;
inline constexpr int IDS_NM_NO_ADDRESS = 206;
inline constexpr int IDS_NM_NOT_UP = 207;
inline constexpr int IDS_NM_ACTIVATING = 208;
inline constexpr int IDS_NM_REASON = 210; // + the active connection's reason, 2 to 14
inline constexpr int IDI_SECOND = 130;

// What stands behind a COM port (Linux only).
inline constexpr int IDS_PORT_NO_DEVICE = 230;
inline constexpr int IDS_PORT_NOT_CONNECTED = 231; // %1: the stored device
inline constexpr int IDS_PORT_DEFAULT = 232;       // %1: the default device, or none
inline constexpr int IDS_PORTS_SAVE_FAILED = 233;
inline constexpr int IDS_PORT_MISSING = 350; // beside a row whose path is not there

// The alignment aids: the quality bar's verdict (%1: the percent), 400 to 449.
inline constexpr int IDS_QUALITY_GOOD = 400;
inline constexpr int IDS_QUALITY_BAD = 401;
inline constexpr int IDS_TONE_MENU = 410;
inline constexpr int IDS_TONE_UNAVAILABLE = 411; // %1: the system's reason
inline constexpr int IDS_READOUT_MENU = 420;
inline constexpr int IDS_READOUT_NO_TEST = 421;
inline constexpr int IDS_READOUT_GOOD = 422;
inline constexpr int IDS_READOUT_BAD = 423;
inline constexpr int IDS_READOUT_PEAK = 424; // %1: percent, %2: seconds ago
inline constexpr int IDS_READOUT_TITLE = 425;
inline constexpr int IDS_READOUT_STARTING = 426;
// The recorded link tests: the "Protokoll" window and the report, 450 to 499.
inline constexpr int IDS_PROTOCOL_MENU = 450;
inline constexpr int IDS_PROTOCOL_TITLE = 451;
inline constexpr int IDS_PROTOCOL_COLUMN_DATE = 452;
inline constexpr int IDS_PROTOCOL_COLUMN_PORT = 453;
inline constexpr int IDS_PROTOCOL_COLUMN_RATE = 454;
inline constexpr int IDS_PROTOCOL_COLUMN_RESULT = 455;
inline constexpr int IDS_PROTOCOL_COLUMN_QUALITY = 456;
inline constexpr int IDS_PROTOCOL_SAVE_PDF = 457;
inline constexpr int IDS_PROTOCOL_SAVE_CSV = 458;
inline constexpr int IDS_PROTOCOL_CLOSE = 459;
inline constexpr int IDS_PROTOCOL_EMPTY = 460;
inline constexpr int IDS_PROTOCOL_DAMAGED = 461;
inline constexpr int IDS_PROTOCOL_ASK_SITE = 462;
inline constexpr int IDS_PROTOCOL_ASK_TECHNICIAN = 463;
inline constexpr int IDS_PROTOCOL_PDF_FILTER = 464;
inline constexpr int IDS_PROTOCOL_CSV_FILTER = 465;
inline constexpr int IDS_PROTOCOL_HEADER_TITLE = 466;
inline constexpr int IDS_REPORT_USAGE = 480;
inline constexpr int IDS_REPORT_NONE = 481;
inline constexpr int IDS_REPORT_ONLY = 482; // %1: how many there are
inline constexpr int IDS_REPORT_NO_PDF = 483;
inline constexpr int IDS_REPORT_WRITE_FAILED = 484; // %1: the file

// The readout on a phone in the same network (Linux only), 500 to 549.
inline constexpr int IDS_PHONE_MENU = 500;
inline constexpr int IDD_PHONE = 501;
inline constexpr int IDS_PHONE_NONE = 502;
inline constexpr int IDS_PHONE_ONE = 503;
inline constexpr int IDS_PHONE_MANY = 504;   // %1: how many
inline constexpr int IDS_PHONE_FAILED = 505; // %1: the system's reason
inline constexpr int IDS_PHONE_TEST_RUNS = 506;
inline constexpr int IDS_PHONE_NO_TEST = 507;
inline constexpr int IDS_PHONE_STARTED = 508; // %1: the address, on standard error
inline constexpr int IDS_PHONE_QR_NAME = 509; // %1: the address

// The dial dialog, and the progress each dial-up service shows in it.
inline constexpr int IDS_DIAL_CONNECTING = 240;
inline constexpr int IDS_DIAL_NOT_STARTED = 241;
inline constexpr int IDS_DIAL_CLOSE = 242;
inline constexpr int IDS_DIAL_DIALING = 243; // %1: the entry

// pppd's answers during a dial (Linux only).
inline constexpr int IDS_PPPD_EXIT = 250;       // + pppd's exit status, 1 to 19
inline constexpr int IDS_PPPD_EXIT_OTHER = 270; // %1: any other exit status
inline constexpr int IDS_PPPD_BAD_NAME = 271;   // %1: the entry
inline constexpr int IDS_PPPD_NO_PEER = 272;    // %1: the entry, %2: the peers folder
inline constexpr int IDS_PPPD_NOT_STARTED = 273;
inline constexpr int IDS_PPPD_NO_DEVICE = 274; // %1: the device the peers file names
inline constexpr int IDS_PPPD_CRASHED = 275;

// The simulated dial-up service.
inline constexpr int IDS_SIM_NO_ENTRY = 280; // %1: the entry
inline constexpr int IDS_SIM_NO_ANSWER = 281;

// Why a serial port is not available, beside the status line.
inline constexpr int IDS_PORT_REFUSED_OTHER = 300; // %1: the device
inline constexpr int IDS_PORT_REFUSED_NOT_MAPPED = 301;
inline constexpr int IDS_PORT_REFUSED_ABSENT = 302;   // %1: the device
inline constexpr int IDS_PORT_REFUSED_BUSY = 303;     // %1: the device
inline constexpr int IDS_PORT_REFUSED_BUSY_PID = 304; // %1: the device, %2: the process's number
inline constexpr int IDS_PORT_REFUSED_BUSY_PROCESS = 305;        // the same, %3: its name
inline constexpr int IDS_PORT_REFUSED_NOT_PERMITTED = 306;       // %1: the device
inline constexpr int IDS_PORT_REFUSED_NOT_PERMITTED_GROUP = 307; // %1: the device, %2: its group
inline constexpr int IDS_PORT_REFUSED_CONSOLE = 308;             // %1: the device
inline constexpr int IDS_PORT_REFUSED_NOT_SERIAL = 309;          // %1: the device
inline constexpr int IDS_PORT_REFUSED_LOCK_NOT_FILE = 310;       // %1: the lock file

inline constexpr int IDC_LINK_QUALITY = 1001;
inline constexpr int IDC_BAUDRATE = 1002;
inline constexpr int IDC_SENSITIVITY = 1003;
inline constexpr int IDC_CONFIGURE = 1004;
inline constexpr int IDC_TEST = 1005;
inline constexpr int IDC_CONNECT = 1006;
inline constexpr int IDC_COM_PORT = 1008;
inline constexpr int IDC_RAS_LINK_NAME = 1009;
inline constexpr int IDC_STATUS = 1011;
inline constexpr int IDC_SAVE = 1014;
inline constexpr int IDC_RUN_INVISIBLE = 1016;
inline constexpr int IDC_RUN_PROGRAM = 1017;
inline constexpr int IDC_BROWSE = 1018;
inline constexpr int IDC_DIAL_ENTRY = 1020;
inline constexpr int IDC_DIAL_STATUS = 1021;
inline constexpr int IDC_PORT_COM1 = 1030;
inline constexpr int IDC_PORT_COM2 = 1031;
inline constexpr int IDC_PORT_COM3 = 1032;
inline constexpr int IDC_PORT_COM4 = 1033;
// Beside each row: "nicht vorhanden" when its path is not there.
inline constexpr int IDC_PORT_MISSING1 = 1034;
inline constexpr int IDC_PORT_MISSING2 = 1035;
inline constexpr int IDC_PORT_MISSING3 = 1036;
inline constexpr int IDC_PORT_MISSING4 = 1037;
inline constexpr int IDC_PHONE_QR = 1500;
inline constexpr int IDC_PHONE_ADDRESS = 1501;
inline constexpr int IDC_PHONE_URL = 1502;
inline constexpr int IDC_PHONE_STATE = 1503;

// A system command: its low four bits are zero, the system's own use them.
inline constexpr unsigned IDM_ABOUT = 0x0010;
inline constexpr unsigned IDM_PORTS = 0x0020;
inline constexpr unsigned IDM_TONE = 0x0030;
inline constexpr unsigned IDM_ALIGNMENT = 0x0040;
inline constexpr unsigned IDM_PROTOCOL = 0x0050;
inline constexpr unsigned IDM_PHONE = 0x0060;
