/* Resource and control ids of the Windows program, shared by the resource
   script and the code that loads the resources. */
#pragma once

/* Unnumbered static texts */
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* Strings */
#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109

/* Icon group: window class, tray, settings sheet */
#define IDI_TARNBECK 108

/* Tray popup menu and its commands */
#define IDR_TRAY_MENU 4
#define IDM_SETTINGS 32777
#define IDM_ABOUT 32778
#define IDM_CLOSE 32779
#define IDM_START_LFS 32780
#define IDM_LFS_REPORT 32782

/* Dialogs */
#define IDD_ABOUT 103
#define IDD_MAIN_PAGE 132
#define IDD_FTP_PAGE 133

/* About box */
#define IDC_ABOUT_VERSION 1001

/* "Main" page */
#define IDC_SYSTEM_START 1000
#define IDC_SERVER_PORT 1001
#define IDC_CLIENT_PORT 1002
#define IDC_OUTPUT_NAME 1003
#define IDC_LFS_PARAMETERS 1004
#define IDC_ADMIN_PASSWORD 1005
#define IDC_LFS_PATH 1006
#define IDC_OUTPUT_PATH 1007
#define IDC_SERVER_IP 1008
#define IDC_BROWSE_LFS 1014
#define IDC_BROWSE_OUTPUT 1015

/* "FTP" page */
#define IDC_FTP_ADDRESS 1011
#define IDC_HTTP_ADDRESS 1012
#define IDC_FTP_USER 1013
#define IDC_FTP_PASSWORD 1006
