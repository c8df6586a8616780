// A Qt generic plugin that drives a program's windows from a script, as a player would, so that
// tests can run the real program (its own main, QApplication and quit) and watch it end. Loaded
// with QT_QPA_GENERIC_PLUGINS=kvdriver:SCRIPT and QT_PLUGIN_PATH naming the folder above
// generic/. A script has one step a line: a command, a target (an object name, or a button's
// text) and the rest of the line as its argument:
//   click TARGET          presses the visible, enabled button
//   trigger ACTION        triggers the enabled, visible action (a menu entry) of a shown window,
//                         once the step is done, so that a dialog it opens can be driven
//   type TARGET TEXT      types TEXT into the visible line edit
//   key TARGET KEY        activates TARGET's window and presses KEY (Return, Escape) there
//   close TARGET          closes the visible window TARGET as a window manager does
//   wait TARGET TEXT      waits until the visible TARGET shows TEXT
//   remove PATH           removes the file PATH (a stand-in tool may wait for that)
// Each step waits until its target is there; each done step is written to stderr.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGenericPlugin>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

namespace {

struct Step
{
    QString command;
    QString target;
    QString argument;
};

std::vector<Step> ReadScript(const QString &path)
{
    std::vector<Step> steps;
    std::ifstream in(path.toStdString());
    for (std::string line; std::getline(in, line);) {
        const QString text = QString::fromStdString(line);
        if (text.trimmed().isEmpty() || text.startsWith(u'#')) {
            continue;
        }
        const qsizetype first = text.indexOf(u' ');
        const qsizetype second = first < 0 ? -1 : text.indexOf(u' ', first + 1);
        Step step;
        step.command = text.left(first);
        step.target =
            first < 0 ? QString() : text.mid(first + 1, second < 0 ? -1 : second - first - 1);
        step.argument = second < 0 ? QString() : text.mid(second + 1);
        steps.push_back(step);
    }
    return steps;
}

// The visible widget named target; else the visible button showing target as its text (an
// alert's button has no name).
QWidget *Find(const QString &target)
{
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        if (widget->isVisible() && widget->objectName() == target) {
            return widget;
        }
    }
    for (QWidget *widget : widgets) {
        if (auto *button = qobject_cast<QAbstractButton *>(widget);
            button != nullptr && button->isVisible() && button->text().remove(u'&') == target) {
            return button;
        }
    }
    return nullptr;
}

class ProgramDriver : public QObject
{
public:
    explicit ProgramDriver(std::vector<Step> steps) : steps_(std::move(steps))
    {
        connect(&timer_, &QTimer::timeout, this, &ProgramDriver::advance);
        timer_.start(10);
    }

private:
    void advance()
    {
        while (next_ < steps_.size() && perform(steps_[next_])) {
            const Step &step = steps_[next_];
            std::fprintf(stderr, "kvdriver: done: %s %s %s\n", qPrintable(step.command),
                         qPrintable(step.target), qPrintable(step.argument));
            ++next_;
        }
        if (next_ == steps_.size()) {
            timer_.stop();
        }
    }

    // Carries the step out and returns true, or returns false while its target is not there yet.
    bool perform(const Step &step)
    {
        if (step.command == u"remove") {
            std::error_code ignored;
            std::filesystem::remove((step.target + u' ' + step.argument).trimmed().toStdString(),
                                    ignored);
            return true;
        }
        if (step.command == u"trigger") {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                auto *action =
                    window->isVisible() ? window->findChild<QAction *>(step.target) : nullptr;
                if (action != nullptr && action->isEnabled() && action->isVisible()) {
                    QTimer::singleShot(0, action, &QAction::trigger);
                    return true;
                }
            }
            return false;
        }
        QWidget *widget = Find(step.target);
        if (widget == nullptr || !widget->isEnabled()) {
            return false;
        }
        if (step.command == u"click") {
            QTest::mouseClick(widget, Qt::LeftButton);
        } else if (step.command == u"type") {
            QTest::keyClicks(widget, step.argument);
        } else if (step.command == u"key") {
            QWidget *window = widget->window();
            if (QApplication::activeWindow() != window) {
                window->activateWindow();
                return false;
            }
            QTest::keyClick(window->windowHandle(), KeyNamed(step.argument));
        } else if (step.command == u"close") {
            widget->window()->windowHandle()->close();
        } else if (step.command == u"wait") {
            return widget->property("text").toString() == step.argument;
        } else {
            qFatal("kvdriver: unknown step \"%s\"", qPrintable(step.command));
        }
        return true;
    }

    static Qt::Key KeyNamed(const QString &name)
    {
        if (name == u"Return") {
            return Qt::Key_Return;
        }
        if (name == u"Escape") {
            return Qt::Key_Escape;
        }
        qFatal("kvdriver: unknown key \"%s\"", qPrintable(name));
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
};

class ProgramDriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "ProgramDriver.json")

public:
    QObject *create(const QString &key, const QString &specification) override
    {
        if (key != u"kvdriver") {
            return nullptr;
        }
        return new ProgramDriver(ReadScript(specification));
    }
};

} // namespace

#include "ProgramDriver.moc"
