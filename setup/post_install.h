// What the installer does around the install and uninstall: the run
// wrapper, the follow-up steps of an install, and the start of the setup
// program built for the native processor under WOW64.
#pragma once

#include <windows.h>

#include "install.h"
#include "setup_options.h"

// The run of the options' mode.
SetupResult RunSetup(const InstallOptions &options);
void ImportProxySettings();
void OfferTestPage();
void LaunchPlatformVariant();

// Turns a program path ending in ".exe" (any letter case) into the path of
// its platform variant: the final ".exe" is replaced by the suffix. False,
// and the path untouched, when the name does not end in ".exe".
bool VariantSetupPath(char *path, size_t capacity, const char *suffix);

// Puts a command's program path in quotes when it is not quoted yet, so
// that a path with blanks cannot be taken for a shorter program name.
void QuoteProgramPath(const char *path, char *out, size_t capacity);
