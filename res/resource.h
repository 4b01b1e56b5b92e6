// Resource and control ids of the installer, kept by hand. One range per kind: icons from 1,
// dialogs from 101, controls from 1001; IDOK and IDCANCEL are the system's own.
#pragma once

// Icons
#define IDI_CARDSETUP 1

// Dialogs
#define IDD_INSTALLER 101

// Controls of IDD_INSTALLER
#define IDC_STATIC (-1)
#define IDC_COMP_DRIVER 1001
#define IDC_COMP_IE 1002
#define IDC_COMP_NETSCAPE 1003
#define IDC_COMP_JAVA 1004
#define IDC_STATUS_DRIVER 1005
#define IDC_STATUS_IE 1006
#define IDC_STATUS_NETSCAPE 1007
#define IDC_STATUS_JAVA 1008
#define IDC_DETAILS 1009
#define IDC_READER_TYPE 1010
