// Both family keys are opened before the first home is visited; every key is closed on every
// path, a visitor's stop included. A version whose JavaHome cannot be read is passed over.
#include "components/java_homes.h"

#include <windows.h>

#include "components/registry_text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const JavaFamily kRuntimes = {"Java Runtime Environment", "lib\\ext\\ocf1.2.jar",
                                     "lib\\opencard.properties", "lib\\security\\java.policy",
                                     true};
static const JavaFamily kDevelopmentKits = {"Java Development Kit", "jre\\lib\\ext\\ocf1.2.jar",
                                            "jre\\lib\\opencard.properties",
                                            "jre\\lib\\security\\java.policy", false};

struct HomeWalk {
    char* home;
    size_t capacity;
    JavaHomeVisitor visit;
    void* context;
    bool stopped;
};

static void VisitVersion(HomeWalk* walk, const JavaFamily* family, HKEY familyKey,
                         const char* versionName)
{
    HKEY versionKey;

    if (RegOpenKeyExA(familyKey, versionName, 0, KEY_ALL_ACCESS, &versionKey) != ERROR_SUCCESS)
        return;
    if (ReadRegistryText(versionKey, "JavaHome", walk->home, walk->capacity))
        walk->stopped = !walk->visit(walk->context, family);
    RegCloseKey(versionKey);
}

static void VisitFamily(HomeWalk* walk, const JavaFamily* family, HKEY familyKey)
{
    char versionName[MAX_PATH + 3];

    for (DWORD index = 0; familyKey != NULL && !walk->stopped; index++) {
        if (RegEnumKeyA(familyKey, index, versionName, sizeof(versionName)) != ERROR_SUCCESS)
            break;
        VisitVersion(walk, family, familyKey, versionName);
    }
    if (familyKey != NULL)
        RegCloseKey(familyKey);
}

static HKEY OpenFamily(HKEY javaSoft, const JavaFamily* family)
{
    HKEY key;

    if (RegOpenKeyExA(javaSoft, family->keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

bool ForEachJavaHome(char* home, size_t capacity, JavaHomeVisitor visit, void* context)
{
    HomeWalk walk = {home, capacity, visit, context, false};
    HKEY javaSoft;
    HKEY runtimes;
    HKEY developmentKits;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft", 0, KEY_ALL_ACCESS, &javaSoft) !=
        ERROR_SUCCESS)
        return false;
    runtimes = OpenFamily(javaSoft, &kRuntimes);
    developmentKits = OpenFamily(javaSoft, &kDevelopmentKits);
    VisitFamily(&walk, &kRuntimes, runtimes);
    VisitFamily(&walk, &kDevelopmentKits, developmentKits);
    RegCloseKey(javaSoft);
    return runtimes != NULL || developmentKits != NULL;
}
