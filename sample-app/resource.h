// Resource identifiers of the stand-in application QUORIN32.EXE.
#pragma once

// Icon groups: ExtractIcon index 0 is group 1, index 1 is group 2 (numeric ids, ascending).
#define IDI_QUORIN_APP 1
#define IDI_QUORIN_DOC 2

#define IDD_SAMPLE_POPUP 100
#define IDC_POPUP_TEXT 101

#define IDC_MAIN_TEXT 200
