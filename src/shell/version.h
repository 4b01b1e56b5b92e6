// The installer's version, shown in the dialog's title and in the file's version resource.
#pragma once

#define CARDSETUP_VERSION_MAJOR 2
#define CARDSETUP_VERSION_MINOR 4
#define CARDSETUP_VERSION_TEXT "2.4"
