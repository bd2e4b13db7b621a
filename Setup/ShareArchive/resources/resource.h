// Resource ids of SETUP.EXE, grouped by kind.
#pragma once

// Dialog template and icon groups (named resources)
#define DLG_MASTER_NAME "DLG_MASTER"

// Payload archive
#define IDR_PAYLOAD 19

// DLG_MASTER controls
#define IDC_NEXT 1
#define IDC_CANCEL 2
#define IDC_INPUT 1000
#define IDC_INPUT_LABEL 1001
#define IDC_PAGE_ICON 1002
#define IDC_RESTART_TEXT 1003
#define IDC_RESTART_WARNING 1004
#define IDC_HEADLINE 1005
#define IDC_INSTRUCTION 1006
#define IDC_HELP_BUTTON 1007
#define IDC_BACK 1008
#define IDC_STATUS 1009
#define IDC_BROWSE 1010
#define IDC_CHECK 1011

// Setup messages 1-18
#define IDS_FOLDER_PAGE 1
#define IDS_GROUP_PAGE 2
#define IDS_SETUP_DONE 3
#define IDS_BROWSE_TITLE 4
#define IDS_NO_NEED_TO_CHANGE 5
#define IDS_SOME_NOT_DELETED 6
#define IDS_REMOVAL_DONE 7
#define IDS_CANCEL_TO_QUIT 8
#define IDS_APP_RUNNING 9
#define IDS_MIGRATE_SETTINGS 10
#define IDS_SETTINGS_RESET 11
#define IDS_GROUP_FAILED 12
#define IDS_CANNOT_DELETE 13
#define IDS_COPY_TRIAL_DATA 14
#define IDS_CANNOT_COPY 15
#define IDS_REALLY_DELETE 16
#define IDS_CONFIRM_REMOVAL 17
#define IDS_REPAIR_TOOL 18

// Archive messages: 3000 + extraction result code
#define IDS_ARCHIVE_BASE 3000
