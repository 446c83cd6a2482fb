#pragma once
#define IDM_TESTWIN 300
#define IDA_TESTWIN 301
#define IDD_TESTDLG 500
#define CMD_EXIT 9000
#define CMD_OPEN 9001
#define CMD_DELETE 9002
#define CMD_CHECK 9003
#define CMD_REFRESH 9005
#define CMD_COUNT 9006 // slow; counts in the title, and posts CMD_COUNTED when done
#define CMD_COUNTED 9007
