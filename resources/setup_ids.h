/* Resource identifiers of the installer. German texts and dialogs stand at
   the English identifier plus 1000. Included by C++ and by windres. */
#ifndef VERILOOM_SETUP_IDS_H
#define VERILOOM_SETUP_IDS_H

#define IDI_SETUP 1
#define IDB_SETUP 100

#define IDD_SETUP_INSTALL 100
#define IDD_SETUP_UNINSTALL 101

#define IDC_SETUP_RUN 1         /* Install or Uninstall */
#define IDC_SETUP_EXIT 2        /* also Escape */
#define IDC_SETUP_MORE_INFORMATION 9
#define IDC_SETUP_SCOPE 10
#define IDC_SETUP_PROXY 101

#define IDS_SETUP_DIRECTORY_ERROR 1
#define IDS_SETUP_COPY_ERROR 2
#define IDS_SETUP_INSTALLED 3
#define IDS_SETUP_UNINSTALLED 5
#define IDS_SETUP_REGISTER_ERROR 6
#define IDS_SETUP_UNREGISTER_ERROR 7
#define IDS_SETUP_ALL_USERS 9
#define IDS_SETUP_THIS_USER 10
#define IDS_SETUP_NEED_ADMIN 11
#define IDS_SETUP_EXECUTE_ERROR 12
#define IDS_SETUP_PROXY_ERROR 13
#define IDS_SETUP_TEST_PAGE_QUESTION 14
#define IDS_SETUP_BROWSER_ERROR 15

#endif
