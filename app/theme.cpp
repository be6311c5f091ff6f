#include "app/theme.h"

#include <QFile>
#include <QMetaEnum>
#include <QStyleFactory>
#include <QTextStream>

#include "support/messages.h"

// Q_INIT_RESOURCE must stand outside any namespace.
static void InitTolvaneResources() { Q_INIT_RESOURCE(tolvane); }

namespace tolvane::app {

namespace {

std::optional<QString> ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return QString::fromUtf8(file.readAll());
}

// Lines "Role=#rrggbb" set a role in every group; "Disabled.Role=#rrggbb"
// in one group.
QPalette ParsePalette(const QString& text) {
  QPalette palette;
  const QMetaEnum roles = QMetaEnum::fromType<QPalette::ColorRole>();
  const QMetaEnum groups = QMetaEnum::fromType<QPalette::ColorGroup>();
  for (QString line : text.split(QLatin1Char('\n'))) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    QString key = line.left(equals).trimmed();
    const QColor colour(line.mid(equals + 1).trimmed());
    int group = -1;
    const qsizetype dot = key.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
      group = groups.keyToValue(key.left(dot).toLatin1().constData());
      key = key.mid(dot + 1);
    }
    const int role = roles.keyToValue(key.toLatin1().constData());
    if (role < 0 || !colour.isValid()) continue;
    if (group >= 0) {
      palette.setColor(static_cast<QPalette::ColorGroup>(group),
                       static_cast<QPalette::ColorRole>(role), colour);
    } else {
      palette.setColor(static_cast<QPalette::ColorRole>(role), colour);
    }
  }
  return palette;
}

}  // namespace

void InitResources() { InitTolvaneResources(); }

std::optional<Theme> FindTheme(const QString& name, const QString& root) {
  InitResources();
  const QString folder = root + QLatin1Char('/') + name + QLatin1Char('/');
  const std::optional<QString> styleSheet = ReadText(folder + QStringLiteral("style.qss"));
  const std::optional<QString> palette = ReadText(folder + QStringLiteral("palette"));
  if (!styleSheet || !palette) return std::nullopt;
  return Theme{*styleSheet, ParsePalette(*palette)};
}

bool ApplyTheme(QApplication& application, const QString& name, const QString& root) {
  const std::optional<Theme> theme = FindTheme(name, root);
  if (!theme) return false;
  application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  application.setPalette(theme->palette);
  application.setStyleSheet(theme->styleSheet);
  return true;
}

void ApplyThemeOrReport(QApplication& application, const QString& name, const QString& root,
                        const ErrorBoxPresenter& presenter) {
  if (ApplyTheme(application, name, root)) return;
  const std::string text = messages::ThemeNotFound(name.toStdString());
  presenter(ErrorBox{nullptr,
                     QString::fromUtf8(messages::kThemeErrorCaption.data(),
                                       static_cast<qsizetype>(messages::kThemeErrorCaption.size())),
                     QString::fromStdString(text)});
}

}  // namespace tolvane::app
