/* stagehand.dll as a foreign-function interface meets it: loaded at run time on a thread of
 * its own, each function named on the command line found by its plain name, one call made to
 * fail, the DLL freed. The thread must then end and the DLL be gone. Prints "c load: ok". */
#include <windows.h>

#include <stdio.h>

static int failures;

static DWORD WINAPI load(void* names)
{
    HMODULE dll = LoadLibraryW(L"stagehand.dll");
    char** name;
    int (*create)(void*);
    for (name = (char**)names; dll && *name; ++name) {
        if (!GetProcAddress(dll, *name)) {
            fprintf(stderr, "c load: %s not found\n", *name);
            ++failures;
        }
    }
    create = dll ? (int (*)(void*))(void (*)(void))GetProcAddress(dll, "stagehand_manager_create") : NULL;
    if (!create || create(NULL) != 1) /* STAGEHAND_NULL_ARGUMENT, and a message kept for the thread */
        ++failures;
    if (!dll || !FreeLibrary(dll))
        ++failures;
    return 0;
}

int main(int argc, char** argv)
{
    HANDLE thread = CreateThread(NULL, 0, load, argv + 1, 0, NULL);
    int ended = thread && WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    if (!ended || failures || GetModuleHandleW(L"stagehand.dll") || argc < 2) {
        fprintf(stderr, "c load: failed (thread ended: %d, failures: %d, or the DLL stays loaded)\n", ended, failures);
        return 1;
    }
    CloseHandle(thread);
    printf("c load: ok, %d functions\n", argc - 1);
    return 0;
}
