#pragma once
// Resource ids of the about box, shared by res/about_box.rc and the code.

#define IDD_ABOUTBOX 100
#define IDC_ABOUT_VERSION 1014
#define IDC_ABOUT_COPYRIGHT 1015
