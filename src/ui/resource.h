// Resource ids shared by the resource script and the code.
#define IDD_PROGRESS 100
#define IDC_STATUS_LIST 200
#define IDI_PROGRAM 300
