#include "app/about_dlg.h"

#include "resources/dialog_template.h"

CAboutDlg::CAboutDlg() : CDialog(res::IDD_ABOUTBOX) {}
