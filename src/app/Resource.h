#pragma once
// Numeric identifiers of the main window's controls, commands, strings and
// artwork. The numbers are fixed: other modules and tests address controls by
// them, and bitmap artwork is looked up by them (bitmaps/<id>.png).

namespace vantor::res {

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_VANTOR_DIALOG = 102;

// Strings.
inline constexpr int IDS_ABOUTBOX = 101;

// Commands.
inline constexpr int IDM_ABOUTBOX = 16;
inline constexpr int ID_HELP = 57670;
inline constexpr int ID_PLAYLIST_PLAY = 32771;
inline constexpr int ID_PLAYLIST_PAUSE = 32772;
inline constexpr int ID_PLAYLIST_STOP = 32773;
inline constexpr int ID_PLAYLIST_DELETE = 32774;
inline constexpr int ID_PLAYLIST_SELECTALL = 32775;
// Attaches a GPS file to the selected playlist entry.
inline constexpr int ID_PLAYLIST_LOADGPS = 32776;
// The in and out points of a video export, and the export itself.
inline constexpr int ID_PLAYLIST_MARKIN = 32710;
inline constexpr int ID_PLAYLIST_MARKOUT = 32711;
inline constexpr int ID_PLAYLIST_EXPORTVIDEO = 32712;
inline constexpr int ID_PLAYLIST_EXPORTDRIVE = 32713;
inline constexpr int ID_PLAYLIST_ADDFOLDER = 32714;
inline constexpr int ID_WINDOW_SETTINGS = 32700;  // the window menu's Settings item, F2
inline constexpr int IDR_PLAYLIST_MENU = 183;

// Controls of the main window.
inline constexpr int IDC_OPEN_FILE = 1001;
inline constexpr int IDC_PLAY = 1002;
inline constexpr int IDC_MAP_BROWSER = 1003;
inline constexpr int IDC_PREVIOUS_ITEM = 1007;
inline constexpr int IDC_FAST_BACKWARD = 1008;
inline constexpr int IDC_LOAD_RECORD_DB = 1009;
inline constexpr int IDC_BACKWARD_PLAY = 1010;
inline constexpr int IDC_PAUSE = 1011;
inline constexpr int IDC_VOLUME = 1012;
inline constexpr int IDC_FAST_FORWARD = 1013;
inline constexpr int IDC_NEXT_ITEM = 1014;
inline constexpr int IDC_MUTE = 1015;
inline constexpr int IDC_PRINT_IMAGE = 1016;
inline constexpr int IDC_SNAPSHOT = 1017;
inline constexpr int IDC_FILE_SAVE = 1018;
inline constexpr int IDC_TITLE = 1020;
inline constexpr int IDC_TITLE2 = 1021;
inline constexpr int IDC_PLAYLIST = 1025;
inline constexpr int IDC_METER = 1026;
inline constexpr int IDC_ANGLE2 = 1030;
inline constexpr int IDC_ANGLE1 = 1031;
inline constexpr int IDC_DIGIT_100000 = 1032;
inline constexpr int IDC_DIGIT_10000 = 1033;
inline constexpr int IDC_DIGIT_1000 = 1034;
inline constexpr int IDC_DIGIT_100 = 1035;
inline constexpr int IDC_DIGIT_10 = 1036;
inline constexpr int IDC_DIGIT_1 = 1037;
inline constexpr int IDC_GRAPH_FRAME = 1038;
inline constexpr int IDC_POSITION = 1039;
inline constexpr int IDC_ZOOM_LABEL = 1048;
inline constexpr int IDC_ZOOM_SLIDER = 1049;
inline constexpr int IDC_ZOOM_SPIN = 1053;
inline constexpr int IDC_DEBUG_TEXT = 1054;
inline constexpr int IDC_LATITUDE = 1055;
inline constexpr int IDC_STOP = 1056;
inline constexpr int IDC_MAP_TYPE = 1060;
// Texts the window shows beside its displays.
inline constexpr int IDC_TIME_TEXT = 1061;      // "0:06 / 0:21"
inline constexpr int IDC_CLOCK_TEXT = 1062;     // the GPS date and time
inline constexpr int IDC_SPEED_TEXT = 1063;     // "30 km/h"
inline constexpr int IDC_PLACE_TEXT = 1064;     // latitude and longitude
inline constexpr int IDC_ODOMETER_UNIT = 1065;  // what the odometer counts

// Artwork.
inline constexpr int IDR_MAINFRAME = 128;        // application icon
inline constexpr int IDB_PLAYLIST_MARKS = 184;   // image list of the playlist
inline constexpr int IDB_SPEED_DIAL_ZERO = 186;  // speed gauge picture for 0..9
inline constexpr int IDB_ABOUT = 246;

}  // namespace vantor::res
