#pragma once

#include <platform/component/dispatch.h>

#include <QString>

// The path of the window's saved layout among the program's resources.
inline constexpr char kWindowLayout[] = ":/talhaz/Form1.layout";

// Creates the control that the saved layout's record `name` names, through
// the component registry, checks that it is the class and library the record
// was saved with, and loads it from the record's property bag. Raises
// RuntimeError 429 with the cause when it cannot.
platform::Ref<platform::Dispatch> CreateHostedControl(const QString& layoutPath,
                                                      const QString& name);

// A value of the layout record `name` ("" when absent).
QString LayoutValue(const QString& layoutPath, const QString& name, const QString& key);
