// Every control carries the id its dialog template gives it, so texts and
// layout are found by id as the dialog code expects.
#pragma once

#include <QWidget>

inline constexpr char kControlIdProperty[] = "controlId";

inline void SetControlId(QWidget* control, int id) { control->setProperty(kControlIdProperty, id); }

// 0 when the widget has no id.
inline int ControlId(const QWidget* control) { return control->property(kControlIdProperty).toInt(); }

// The direct child with that id, or null.
inline QWidget* ChildById(const QWidget* dialog, int id)
{
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (ControlId(child) == id)
            return child;
    return nullptr;
}
