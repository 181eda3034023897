// Resource identifiers of Kyvomar.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDI_KYVOMAR 107
#define IDI_SMALL 108

#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109

#define IDR_MAINFRAME 109   // menu and accelerator table
#define IDM_ABOUT 104
#define IDM_EXIT 105

#define IDD_ABOUTBOX 103
#define IDD_PASSWORD 129
#define IDD_PROGRESS 130
#define IDD_DESTINATION 133
#define IDD_FILENAME 134
#define IDD_MEDIA 136
#define IDD_REPLACE 137

// Password dialog.
#define IDC_PASSWORD_HEADING 1000
#define IDC_PASSWORD 1005
#define IDC_PASSWORD_CONFIRM 1006
#define IDC_MAKE_EXE 1008
#define IDC_PASSWORD_CONFIRM_LABEL 1009
// Progress window.
#define IDC_PROGRESS_STATUS 1010
#define IDC_PROGRESS_COUNTER 1011
// Destination dialog.
#define IDC_DEST_DRIVE 1012
#define IDC_DEST_MEDIA 1013
#define IDC_DEST_MAIL 1014
#define IDC_DEST_GROUP 1019
// File-name dialog.
#define IDC_FILE_NAME 1015
#define IDC_FILE_EXT 1016
#define IDC_FILE_EXT_LABEL 1017
// Removable-media dialog.
#define IDC_MEDIA_LIST 1018
// Question before an existing file is replaced.
#define IDC_REPLACE_NAME 1020
#define IDC_REPLACE_EXISTING 1021
#define IDC_REPLACE_INCOMING 1022
#define IDC_REPLACE_ONE 1023
#define IDC_REPLACE_ALL 1024
#define IDC_KEEP_ONE 1025
#define IDC_KEEP_ALL 1026
