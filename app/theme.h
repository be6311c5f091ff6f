#pragma once

#include <QApplication>
#include <QPalette>
#include <QString>
#include <optional>

#include "app/error_reporter.h"

namespace tolvane::app {

// Where the program's own themes live in its resources: one folder per
// theme name, holding style.qss and palette.
inline const QString kThemeRoot = QStringLiteral(":/themes");

struct Theme {
  QString styleSheet;
  QPalette palette;
};

// The theme of that name under root, or nothing when there is none.
std::optional<Theme> FindTheme(const QString& name, const QString& root = kThemeRoot);

// Fusion with the theme's palette and style sheet. False when no theme of
// that name exists; the application keeps its default look then.
bool ApplyTheme(QApplication& application, const QString& name, const QString& root = kThemeRoot);

// ApplyTheme, and when the theme is missing the box "エラー" saying so,
// before any window exists.
void ApplyThemeOrReport(QApplication& application, const QString& name,
                        const QString& root = kThemeRoot,
                        const ErrorBoxPresenter& presenter = ShowErrorBox);

// Makes the program's resources available; safe to call more than once.
void InitResources();

}  // namespace tolvane::app
