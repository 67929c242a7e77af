// Resource ids of the component's module.
#pragma once

// Toolbox bitmap (19 x 19, 16 colours) and control icon (32 x 32, 16 colours).
#define IDB_VEXCTL3 101
#define IDI_VEXA 216

// Registry script of the control class.
#define IDR_VEXCTL3 102

// String table.
#define IDS_VexCtlDescription 108
#define IDS_VexCtlVersionLine 110
#define IDS_VexCtlLegalText 111
#define IDS_VexCtlVersion 120
#define IDS_VexCtlProductName 121
#define IDS_VexCtlWebAddress 122
#define IDS_VexCtlMailLink 123
#define IDS_VexCtlUserAgent 127

// About box template and its controls.
#define IDD_ABOUTBOX 201
#define IDC_ABOUT_DESCRIPTION 212
#define IDC_ABOUT_LEGAL 214
#define IDC_ABOUT_COMPANY 218
#define IDC_ABOUT_PARENT_COMPANY 219
#define IDC_ABOUT_MAIL_LINK 220
#define IDC_ABOUT_TITLE 221
#define IDC_ABOUT_WEB_LINK 222
#define IDC_ABOUT_ICON 223
#define IDC_ABOUT_VERSION 224
#define IDC_ABOUT_MAKER 232
