/* A test program that notes in times.txt, in its working folder, when it starts and when it
   ends (in 100 ns ticks of the system clock), shows a window for a second in between, and
   exits with the status it is given. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static unsigned long long now(void)
{
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return (unsigned long long)time.dwHighDateTime << 32 | time.dwLowDateTime;
}

int main(int argc, char** argv)
{
    FILE* times = fopen("times.txt", "w");
    if (!times || argc != 2)
        return 2;
    fprintf(times, "start %llu\n", now());
    HWND window = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 320, 200, NULL,
                                  NULL, NULL, NULL);
    Sleep(1000);
    DestroyWindow(window);
    fprintf(times, "end %llu\n", now());
    fclose(times);
    return atoi(argv[1]);
}
