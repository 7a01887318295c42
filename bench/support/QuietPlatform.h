#pragma once

#include "platform/Platform.h"

// A desktop that does nothing: no handler a benchmark runs talks to it, and a box it would show
// is answered OK at once.
class QuietPlatform {
public:
    Platform& platform() { return m_platform; }

private:
    struct Boxes : MessageBoxes {
        BoxAnswer show(QWidget*, const QString&, const QString&, BoxButtons, BoxIcon) override { return BoxAnswer::Ok; }
    } m_boxes;
    struct QuietClipboard : Clipboard {
        void clear() override {}
        void setSecretText(const QString&) override {}
        void clearOwnText() override {}
    } m_clipboard;
    struct QuietShell : Shell {
        bool open(const QString&) override { return true; }
    } m_shell;
    struct QuietRegistry : Registry {
        bool keyExists(RegistryRoot, const QString&) override { return false; }
        std::optional<RegistryValue> query(RegistryRoot, const QString&, const QString&) override { return {}; }
    } m_registry;
    struct QuietProcesses : ProcessStarter {
        bool startDetached(const QString&) override { return false; }
    } m_processes;
    struct QuietEnd : ProgramEnd {
        void endProgram(int) override {}
    } m_end;
    Platform m_platform{m_boxes, m_clipboard, m_shell, m_registry, m_processes, m_end};
};
