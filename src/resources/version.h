#pragma once
// The platform a build is for and its version, as the About box and
// --version show them. The version comes from project(VERSION) in
// CMakeLists.txt, as VANTREL_VERSION_LABEL ("1.00" for 1.0).

#ifndef VANTREL_VERSION_LABEL
#error "VANTREL_VERSION_LABEL is set by the build"
#endif

#if defined(_WIN32)
#define VANTREL_PLATFORM_NAME "Win32"
#else
#define VANTREL_PLATFORM_NAME "Linux"
#endif

#define VANTREL_ABOUT_TEXT "Vantrel for " VANTREL_PLATFORM_NAME " V" VANTREL_VERSION_LABEL
