// SPDX-License-Identifier: MIT
// Qt's own dialogs speak Russian like the window, whatever the locale (ctest runs this under
// LANG=en_US.UTF-8 and under ru_RU.UTF-8): the save-file dialog that a Start with "Записать в
// файл" opens, with Qt's translation installed as the programs install it.
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include "app/polmira_window.h"
#include "gui/gui_support.h"
#include "polling/polmira_variant.h"

namespace {

// What the save-file dialog showed: its caption, the texts of its buttons and labels.
struct FileDialogSeen {
    bool fileDialog = false;
    bool qtDialog = false;  // Qt's own widgets, not the desktop's native dialog
    QString caption;
    QString accept;
    QString reject;
    QString fileNameLabel;
    QString lookInLabel;
    QString typeLabel;
};

QString LabelText(QWidget& dialog, const char* name) {
    auto* label = dialog.findChild<QLabel*>(name);
    return label != nullptr ? label->text() : QString("<no %1>").arg(name);
}

}  // namespace

class QtTranslationTest : public QObject {
    Q_OBJECT

  private:
    WindowUnderTest w;
    QTranslator translation;

    FileDialogSeen ChooseLogFileAndCancel() {
        FileDialogSeen seen;
        WhenModalOpens([&](QWidget& modal) {
            auto* dialog = qobject_cast<QFileDialog*>(&modal);
            seen.fileDialog = dialog != nullptr;
            if (dialog == nullptr) {
                modal.close();
                return;
            }
            seen.qtDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
            seen.caption = dialog->windowTitle();
            if (auto* buttons = dialog->findChild<QDialogButtonBox*>()) {
                QPushButton* accept = buttons->button(QDialogButtonBox::Save);
                if (accept == nullptr) {
                    accept = buttons->button(QDialogButtonBox::Open);
                }
                QPushButton* reject = buttons->button(QDialogButtonBox::Cancel);
                seen.accept = accept != nullptr ? accept->text() : "<none>";
                seen.reject = reject != nullptr ? reject->text() : "<none>";
            }
            seen.fileNameLabel = LabelText(*dialog, "fileNameLabel");
            seen.lookInLabel = LabelText(*dialog, "lookInLabel");
            seen.typeLabel = LabelText(*dialog, "fileTypeLabel");
            dialog->reject();
        });
        const std::optional<std::string> chosen = w.Dialog().ChooseLogFile();
        if (chosen) {
            qWarning("a file was chosen: %s", chosen->c_str());
        }
        return seen;
    }

  private slots:
    void initTestCase() {
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(folder + "/qtbase_ru.qm")) {
            QSKIP(qPrintable("Qt's translations are not installed in " + folder +
                             " (Debian: qt6-translations-l10n)"));
        }
        QVERIFY(InstallQtTranslation(translation));
        w.Open(PolmiraVariant(), PolmiraWindow());
    }

    void saveFileDialogIsRussian() {
        const FileDialogSeen seen = ChooseLogFileAndCancel();
        QVERIFY(seen.fileDialog);
        QVERIFY(seen.qtDialog);
        QCOMPARE(seen.caption, QString("Сохранить как"));
        QCOMPARE(seen.accept, QString("&Сохранить"));
        QCOMPARE(seen.reject, QString("Отмена"));
        QCOMPARE(seen.fileNameLabel, QString("&Имя файла:"));
        QCOMPARE(seen.lookInLabel, QString("Перейти к:"));
        QCOMPARE(seen.typeLabel, QString("Типы файлов:"));
    }
};

QTEST_MAIN(QtTranslationTest)
#include "qt_translation_test.moc"
