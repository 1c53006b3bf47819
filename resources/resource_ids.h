/* Resource identifiers of both deliverables. German texts and dialogs stand
   at the English identifier plus 1000. Included by C++ and by windres. */
#ifndef VERILOOM_RESOURCE_IDS_H
#define VERILOOM_RESOURCE_IDS_H

#define IDI_PRODUCT 1
#define IDB_WARNING 100

/* Library */
#define IDS_REPORT_SENT 1
#define IDS_REPORT_FAILED 2
#define IDS_CHECK_ERROR 3
#define IDD_WARNING 100
#define IDC_WARNING_YES 1 /* IDOK */
#define IDC_WARNING_NO 2  /* IDCANCEL, also Escape */
#define IDC_APPLICATION 100
#define IDC_SITE 101
#define IDC_REPORT 8
#define IDC_MORE_INFORMATION 9

/* Event-log messages of a weak key: found (refused or asked about), and
   only reported in audit mode */
#define MSG_WEAK_CERTIFICATE 100
#define MSG_WEAK_KEY_REPORTED 101

#endif
