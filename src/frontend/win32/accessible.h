#pragma once

#include "window/controls.h"

#include <windows.h>

#include <vector>

struct IAccPropServices;

namespace frontend::win32 {

// Lists, value fields and the summary have no caption of their own to be
// named by: their names, descriptions and the value fields' values from
// the core's table are annotated on the system's accessible objects of
// their native controls. Where the system has no annotation service,
// every call does nothing.
class Annotations {
public:
    Annotations() = default;
    ~Annotations();
    Annotations(const Annotations&) = delete;
    Annotations& operator=(const Annotations&) = delete;

    // Starts COM on this thread and finds the service.
    void start();
    // Does nothing for a control the table does not list.
    void annotate(HWND handle, const window::Control& control);
    void annotateValue(HWND handle, const window::Control& valueField);
    // Annotations outlive the controls unless cleared before they go.
    void clear();

private:
    IAccPropServices* m_service = nullptr;
    bool m_comStarted = false;
    std::vector<HWND> m_annotated;
};

}  // namespace frontend::win32
