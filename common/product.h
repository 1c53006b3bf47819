// Names and captions that both deliverables show.
#pragma once

#define VERILOOM_VERSION_TEXT "V1.1"
#define VERILOOM_COPYRIGHT "\xA9 2026 Veriloom"

// Caption of the library's message boxes.
#define VERILOOM_PROGRAM_CAPTION "Veriloom " VERILOOM_VERSION_TEXT " " VERILOOM_COPYRIGHT

// Event source of the library's warning events.
#define VERILOOM_EVENT_SOURCE "Veriloom"

// The Programs and Features entry.
#define VERILOOM_DISPLAY_NAME "Veriloom"
#define VERILOOM_DISPLAY_VERSION "1.1"
#define VERILOOM_PUBLISHER "Veriloom"

// Machine policy (HKLM, written by Group Policy, administrators only; Setup
// never writes it). Only a REG_DWORD counts. "KeyChecks" 0 switches the
// structural key checks off; absent or non-zero leaves them on. "Mode" 1
// is audit mode: weak keys are logged, never refused; absent or any other
// value enforces. The templates in package/PolicyDefinitions write them.
#define VERILOOM_POLICY_KEY "SOFTWARE\\Policies\\Veriloom"
#define VERILOOM_KEY_CHECKS_VALUE "KeyChecks"
#define VERILOOM_KEY_CHECKS_OFF 0
#define VERILOOM_MODE_VALUE "Mode"
#define VERILOOM_MODE_ENFORCE 0
#define VERILOOM_MODE_AUDIT 1

// Folder below "ProgramFiles" that holds the library and the blacklists.
#define VERILOOM_INSTALL_FOLDER "\\Veriloom"

// Caption of the installer's message boxes, the same in every language.
#define VERILOOM_SETUP_CAPTION "Setup Veriloom " VERILOOM_VERSION_TEXT " [x64] " VERILOOM_COPYRIGHT
