/* Identifiers of drvflash's resources: the program icon and the controls of its
   two dialog templates (MAINDIALOGE, MAINDIALOG), and the dialog's one timer.
   Shared by the resource script and the program's code. */
#ifndef ZAL_RESOURCES_FLASHRESOURCES_H
#define ZAL_RESOURCES_FLASHRESOURCES_H

#define IDI_DRVFLASH 1

#define IDC_POWER_OFF 1 /* the Power Off button has the identifier of IDOK */
#define IDC_DRIVE_SELECT_LABEL 1001
#define IDC_CURRENT_VERSION_LABEL 1002
#define IDC_UPDATE_VERSION_LABEL 1003
#define IDC_STATUS_LABEL 1005
#define IDC_CURRENT_VERSION 1006
#define IDC_STATUS 1007
#define IDC_UPDATE_VERSION 1008
#define IDC_DRIVE_LIST 1009
#define IDC_PROGRESS 1010
#define IDC_FLASH 1011
#define IDC_COUNTER 1012

/* The run tick: a one-shot timer of the dialog, re-armed on every tick. */
#define IDT_RUN_TIMER 1012

#endif
