// Resource ids of the update prompt, shared by its template and its code.
#pragma once

#define IDD_DOWNLOAD_ALARM 190
#define IDC_DONT_SHOW_AGAIN 1152
#define IDC_DOWNLOAD_QUESTION 1153
#define IDC_DOWNLOAD_OK 1154
#define IDC_DOWNLOAD_CANCEL 1155
