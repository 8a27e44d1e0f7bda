#include "ui/qt/qt_renderer.h"

#include "ui/model.h"
#include "ui/qt/panel_window.h"
#include "ui/qt/picture.h"
#include "ui/qt/qt_widgets.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QBasicTimer>
#include <QTimerEvent>

#include <map>
#include <memory>

namespace ui::qt {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// "*.ini" or "*.ini;*.txt" becomes a dialog filter with an all-files entry.
QString dialogFilter(const std::string& list) {
    QStringList patterns;
    for (const QString& p : qs(list).split(QLatin1Char(';'), Qt::SkipEmptyParts)) patterns << p.trimmed();
    if (patterns.isEmpty() || patterns == QStringList{QStringLiteral("*")} ||
        patterns == QStringList{QStringLiteral("*.*")})
        return QStringLiteral("All files (*)");
    return QStringLiteral("%1 (%2);;All files (*)").arg(patterns.join(QLatin1Char(' ')), patterns.join(QLatin1Char(' ')));
}

// Ends an idle wait of the event loop: a bare timer, without signals.
class Waker : public QObject {
public:
    void arm(int ms) { timer_.start(ms, Qt::PreciseTimer, this); }
    void disarm() { timer_.stop(); }

protected:
    void timerEvent(QTimerEvent*) override { timer_.stop(); }

private:
    QBasicTimer timer_;
};

class QtRenderer : public Renderer {
public:
    ~QtRenderer() override { windows_.clear(); }

    PanelWindow* window(int panel) const {
        auto it = windows_.find(panel);
        return it == windows_.end() ? nullptr : it->second.get();
    }

    void panelLoaded(int panel) override { windows_[panel] = std::make_unique<PanelWindow>(panel); }
    void panelChanged(int panel) override {
        PanelWindow* w = window(panel);
        if (!w) return;
        const Panel* p = ui::panel(panel);
        if (p && p->menuBar != w->menuBarHandle())
            w->syncMenuBar();
        else
            w->syncPanel();
    }
    void panelDiscarded(int panel) override { windows_.erase(panel); }
    void controlChanged(int panel, int control, Change what) override {
        if (PanelWindow* w = window(panel)) w->syncControl(control, what);
    }
    void menuBarChanged(int menuBar) override {
        for (auto& [handle, w] : windows_) {
            const Panel* p = ui::panel(handle);
            if (w->menuBarHandle() == menuBar || (p && p->menuBar == menuBar)) w->syncMenuBar();
        }
    }

    // One pass of the Qt event loop.  With nothing queued it blocks in the
    // event dispatcher until input arrives or the wake-up timer fires, so a
    // loop that calls it continuously sleeps instead of spinning.
    void pump(int maxWaitMs) override {
        if (maxWaitMs <= 0 || ui::eventsPending()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            return;
        }
        wake_.arm(maxWaitMs);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        wake_.disarm();
    }

    void wake() override {
        if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread()))
            d->wakeUp();
    }

    // Pop-up texts can carry what the instrument or a file said: plain text only.
    static int plainBox(QMessageBox::Icon icon, const std::string& title, const std::string& text,
        QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, qs(title), qs(text), buttons, QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        return box.exec();
    }
    void messagePopup(const std::string& title, const std::string& text) override {
        plainBox(QMessageBox::Information, title, text, QMessageBox::Ok);
    }
    void errorPopup(const std::string& title, const std::string& text) override {
        plainBox(QMessageBox::Critical, title, text, QMessageBox::Ok);
    }
    bool confirmPopup(const std::string& title, const std::string& text) override {
        return plainBox(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    PromptResult promptPopup(const std::string& title, const std::string& text, int maxLength) override {
        QInputDialog dlg(QApplication::activeWindow());
        dlg.setWindowTitle(qs(title));
        dlg.setLabelText(qs(text));
        for (QLabel* l : dlg.findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);
        dlg.setInputMode(QInputDialog::TextInput);
        if (maxLength > 0)
            for (QLineEdit* e : dlg.findChildren<QLineEdit*>()) e->setMaxLength(maxLength);
        if (dlg.exec() != QDialog::Accepted) return {false, {}};
        QString t = dlg.textValue();
        if (maxLength > 0 && t.size() > maxLength) t.truncate(maxLength);
        return {true, t.toStdString()};
    }
    std::optional<std::string> fileSelectPopup(const std::string& directory, const std::string& defaultFile,
        const std::string& filter, const std::string& title,
        int buttonLabel, bool /*allowCancel*/,
        bool allowMakeDirectory) override {
        QFileDialog dlg(QApplication::activeWindow(), qs(title), qs(directory));
        dlg.setNameFilter(dialogFilter(filter));
        const bool save = buttonLabel == VAL_SAVE_BUTTON;
        dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dlg.setOption(QFileDialog::ReadOnly, !allowMakeDirectory);
        // A name typed without extension gets the filter's ("profile" -> "profile.ini").
        const QString first = qs(filter).section(QLatin1Char(';'), 0, 0).trimmed();
        if (save && first.startsWith(QLatin1String("*.")) && first.indexOf(QLatin1Char('*'), 1) < 0)
            dlg.setDefaultSuffix(first.mid(2));
        // A default that is itself a pattern only sets the filter.
        if (!defaultFile.empty() && defaultFile.find_first_of("*?") == std::string::npos)
            dlg.selectFile(qs(defaultFile));
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
        return dlg.selectedFiles().first().toStdString();
    }

    void setWaitCursor(bool on) override {
        if (on == waitCursor_) return;
        waitCursor_ = on;
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    void beep() override { QApplication::beep(); }
    void inputRefused(int panel, int control, const std::string& why) override {
        if (PanelWindow* w = window(panel)) w->showRefusal(control, why);
    }

private:
    std::map<int, std::unique_ptr<PanelWindow>> windows_;
    Waker wake_;
    bool waitCursor_ = false;
};

// Plain pointers on purpose: nothing here may be destroyed by the exit
// handlers, after Qt has already taken down its platform plug-in.
QtRenderer* active = nullptr;
QApplication* ownApp = nullptr; // created here; lives until the process ends

} // namespace

QWidget* panelWindow(int panel) { return active ? active->window(panel) : nullptr; }

QWidget* controlWidget(int panel, int control) {
    PanelWindow* w = active ? active->window(panel) : nullptr;
    return w ? w->controlWidget(control) : nullptr;
}

QWidget* labelWidget(int panel, int control) {
    PanelWindow* w = active ? active->window(panel) : nullptr;
    return w ? w->labelWidget(control) : nullptr;
}

QMenuBar* panelMenuBar(int panel) {
    PanelWindow* w = active ? active->window(panel) : nullptr;
    return w ? w->qmenuBar() : nullptr;
}

} // namespace ui::qt

bool ui_qt_install(int& argc, char** argv) {
    using namespace ui::qt;
    if (!QCoreApplication::instance()) ownApp = new QApplication(argc, argv);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    if (!active) active = new QtRenderer;
    // Panels loaded before the switch get their windows now.
    for (int h : ui::panelHandles())
        if (!active->window(h)) active->panelLoaded(h);
    ui::setRenderer(active);
    ui_qt_enable_pictures();
    return true;
}

void ui_qt_uninstall() {
    using namespace ui::qt;
    if (ui::renderer() == active) ui::setRenderer(nullptr);
    delete active;
    active = nullptr;
}

bool ui_qt_grab_panel(int panel, const char* pngPath) {
    QWidget* w = ui::qt::panelWindow(panel);
    if (!w || !pngPath) return false;
    return w->grab().save(QString::fromLocal8Bit(pngPath), "PNG");
}
