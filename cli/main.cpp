#include <windows.h>

#include <clocale>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    (void)argc;
    (void)argv;
    _wsetlocale(LC_ALL, L"");
    return 0;
}
