// Identifiers of the dialogs, controls and icons.
#pragma once

#define IDD_PASSWORD 101
#define IDI_MAIN 102
#define IDI_KEY 103
#define IDD_PROGRESS 104

#define IDC_PASSWORD 1001
#define IDC_CONFIRM 1002
#define IDC_LINK_UPDATE 1003
#define IDC_LINK_QA 1004
#define IDC_SHOWPASSWORD 1005
#define IDC_LINK_HOME 1006
#define IDC_PROGRESSBAR 1006
#define IDC_STATUS 1007
