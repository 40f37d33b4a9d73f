// Resource ids of the updater: dialog template, strings, icon and control ids.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDS_ABOUTBOX 101
#define IDD_QM_TWBOOTLOADER_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_DEVICE_LIST 1000
#define IDC_SELECT 1002
#define IDC_FILE_PATH 1004
#define IDC_PROGRESS 1008
#define IDC_STATUS 1009

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
