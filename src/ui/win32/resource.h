// Resource ids shared by the .rc files and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_KOBL_DIALOG 102
#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010

#define IDC_SOURCE_GROUP 1000
#define IDC_SOURCE_PATH 1002
#define IDC_BROWSE 1003
#define IDC_USB_STATUS_GROUP 1004
#define IDC_TASK_GROUP 1005
#define IDC_TASK_FILE_COPY 1006
#define IDC_TASK_FORMAT 1007
#define IDC_FILE_SYSTEM 1008
#define IDC_LABEL_CAPTION 1009
#define IDC_LABEL 1010
#define IDC_START 1011
#define IDC_TASK_SECTOR_COPY 1013
#define IDC_VERIFY 1014
// 1015 is also the about box's copyright: another template, never this one.
#define IDC_USED_SPACE_ONLY 1015
#define IDC_SLOT_LETTER_FIRST 1021
#define IDC_SLOT_PROGRESS_FIRST 1051
#define IDC_SLOT_STATUS_FIRST 1081
