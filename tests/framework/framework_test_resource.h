#pragma once
// Ids shared by framework_test.rc and the tests.

#define IDD_TEST_DIALOG 100
#define IDD_GERMAN_ONLY 101
#define IDD_NOT_PRESENT 199

#define IDC_TEST_EDIT 1001
#define IDC_RADIO_FIRST 1002
#define IDC_RADIO_SECOND 1003
#define IDC_GROUP_NOTE 1004
#define IDC_RADIO_THIRD 1005
#define IDC_AFTER_GROUP 1006
#define IDC_RADIO_OUTSIDE 1007
#define IDC_TEST_COMBO 1008
#define IDC_NOT_PRESENT 1099

// One string table block (ids 192..207) per language.
#define IDS_IN_BOTH 200
#define IDS_ENGLISH_ONLY 201
#define IDS_GERMAN_ONLY 202
#define IDS_NOT_PRESENT 203
