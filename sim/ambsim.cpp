#include <windows.h>
#include <lm.h>

extern "C" BOOL WINAPI IsUserAnAdmin()
{
    return TRUE;
}

extern "C" NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer)
{
    if (buffer != nullptr)
        HeapFree(GetProcessHeap(), 0, buffer);
    return NERR_Success;
}
