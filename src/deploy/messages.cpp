// The shared report texts, stored in code page 1250 like every text of the installer.
#include "deploy/messages.h"

const char kAbortedMessage[] = "Przerwa na życzenie użytkownika";
const char kMediaIncompleteMessage[] = "Instalator jest niekompletny";
const char kCopyErrorFormat[] = "Błąd kopiowania pliku: kod #%d, plik: `%s'";
