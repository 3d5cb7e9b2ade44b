#pragma once

#include <QDir>
#include <functional>

class CQAPropertySheet;
class QWidget;
class QString;

namespace kqa {
class ScriptedPrompt;
}

// The BBP and RF pages, driven to show realistic registers first: a BBP
// script and an RF script run on the emulated chip, a channel chosen.
void ShootRegisterPages(CQAPropertySheet& sheet, kqa::ScriptedPrompt& prompt, const QDir& folder,
                        const std::function<void(QWidget&, const QString&)>& save);
