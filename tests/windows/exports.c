/* The DLL's export table as a program sees it: Voved32.dll, loaded by name,
 * gives each entry point by its undecorated name and by its ordinal, both
 * the same address, and does not export the decorated __stdcall names.
 * Prints one line per fault; exits 1 on any. */
#include <stdio.h>
#include <windows.h>

/* Ordinals of the export table; the decorated names carry the argument
 * bytes of each prototype in voved32.h (every argument takes 4 bytes). */
static const struct {
    const char* name;
    const char* decorated;
    WORD ordinal;
} kExports[] = {
    {"QVAlloc", "QVAlloc@4", 100},
    {"QVHistogram", "QVHistogram@24", 101},
    {"QVMargeHisto", "QVMargeHisto@8", 102},
    {"QVCalculate", "QVCalculate@8", 103},
    {"QVCorrection", "QVCorrection@28", 104},
    {"QVFree", "QVFree@4", 105},
    {"QVInitImageConversion", "QVInitImageConversion@28", 200},
    {"QVCorrection2", "QVCorrection2@32", 201},
    {"QVTerminateImageConversion", "QVTerminateImageConversion@4", 202},
    {"QVExtension", "QVExtension@20", 401},
};

int main(void) {
    HMODULE dll = LoadLibraryA("Voved32.dll");
    if (!dll) {
        printf("Voved32.dll does not load (error %lu)\n", GetLastError());
        return 1;
    }
    int faults = 0;
    for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i) {
        FARPROC byName = GetProcAddress(dll, kExports[i].name);
        FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(kExports[i].ordinal));
        if (!byName || byName != byOrdinal) {
            printf("%s: by name %p, at ordinal %u %p\n", kExports[i].name, (void*)byName,
                   kExports[i].ordinal, (void*)byOrdinal);
            ++faults;
        }
        if (GetProcAddress(dll, kExports[i].decorated)) {
            printf("%s is exported decorated\n", kExports[i].decorated);
            ++faults;
        }
    }
    FreeLibrary(dll);
    printf("%s\n", faults ? "export faults" : "ten entry points by name and ordinal");
    return faults ? 1 : 0;
}
