// The titles of the installer's own windows, shared by the program and by the tools and tests
// that find its windows by title.
#pragma once

#include "version.h"

#define CARDSETUP_WELCOME_CAPTION "Instalator czytnika kart mikropr. dla przeglądarek internetowych"
#define CARDSETUP_DIALOG_TITLE_FORMAT "Instalator czytnika kart mikroproc. [v%d.%d]"
#define CARDSETUP_DIALOG_TITLE "Instalator czytnika kart mikroproc. [v" CARDSETUP_VERSION_TEXT "]"
#define CARDSETUP_RESTART_CAPTION "Info"
