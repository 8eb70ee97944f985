#include "app/about_dlg.h"

#include "resources/resource_ids.h"

CAboutDlg::CAboutDlg() : CDialog(res::IDD_ABOUTBOX) {}
