// Ids of the library's resources; read by the resource compiler and by the code.
#pragma once

// String table
#define IDS_CONFIRM_CANCEL 1
#define IDS_CONNECT_PROMPT 2
#define IDS_STOP 3
#define IDS_SEARCH 4

// Dialog templates
#define IDD_INTERNET_SEARCH 102
#define IDD_DOWNLOAD_PROGRESS 1000

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Controls of the search dialog (IDD_INTERNET_SEARCH); OK and Cancel are IDOK and IDCANCEL.
#define IDC_ALL 3
#define IDC_NONE 4
#define IDC_URL 1000
#define IDC_FOUND_LIST 1001
#define IDC_SEARCH 1002
#define IDC_SEARCH_PROGRESS 1004
#define IDC_STATUS 1005
#define IDC_DEPTH_SLIDER 1007
#define IDC_DEPTH_VALUE 1008
#define IDC_SAME_SERVER 1009
#define IDC_READ_ID3 1010

// Controls of the download progress window (IDD_DOWNLOAD_PROGRESS); Cancel is IDCANCEL.
#define IDC_DOWNLOAD_PROGRESS 1004
#define IDC_PERCENT 25137
#define IDC_SOURCE_URL 25138
#define IDC_DESTINATION 25139
#define IDC_SPEED 25241
#define IDC_REMAINING 25242
