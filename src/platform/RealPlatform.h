#pragma once

#include "DesktopShell.h"
#include "ImmediateProgramEnd.h"
#include "LinuxRegistry.h"
#include "Platform.h"
#include "QtClipboard.h"
#include "QtMessageBoxes.h"
#include "QtProcessStarter.h"

// The real desktop, one of each seam, as main() hands it to the windows.
struct RealPlatform {
    RealPlatform() {
        programEnd.setBeforeEnd([this] { clipboard.clearOwnText(); });
    }
    // The Platform holds references to the members: a copy would point into the original.
    RealPlatform(const RealPlatform&) = delete;
    RealPlatform& operator=(const RealPlatform&) = delete;

    QtMessageBoxes boxes;
    QtClipboard clipboard;
    DesktopShell shell;
    LinuxRegistry registry;
    QtProcessStarter processes;
    ImmediateProgramEnd programEnd;

    Platform& platform() { return m_platform; }

private:
    Platform m_platform{boxes, clipboard, shell, registry, processes, programEnd};
};
