// The product's open-file dialog: the real QFileDialog, driven as a user
// would, with the filters the commands give it.
#include "QtUserSeams.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(QtUserSeamsTest, ConvertFilter_KeepsEachNameThenThePatternsWithStarForAllFiles) {
    const struct {
        const char* mfc;
        const char* qt;
    } cases[] = {
        {"A (*.a)|*.a|B (*.*)|*.*||", "A (*.a) (*.a);;B (*.*) (*)"},
        {"MCS51 hex files|*.hex||", "MCS51 hex files (*.hex)"},
        {"Images|*.bin;*.img|All|*.*||", "Images (*.bin *.img);;All (*)"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mfc);
        EXPECT_EQ(c.qt, CQtUserSeams::ConvertFilter(c.mfc).toStdString());
    }
}

// The names the dialog's file view lists, once its folder has been read.
QStringList ListedNames(QFileDialog* pDialog, int nAtLeast) {
    QStringList names;
    auto* pView = pDialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
    if (pView == nullptr)
        return names;
    // The model reads the folder on a thread of its own; what it found by
    // then is what the user sees.
    [[maybe_unused]] const bool bAll = QTest::qWaitFor(
        [&] { return pView->model()->rowCount(pView->rootIndex()) >= nAtLeast; }, 5000);
    for (int i = 0; i < pView->model()->rowCount(pView->rootIndex()); ++i)
        names << pView->model()->index(i, 0, pView->rootIndex()).data().toString();
    return names;
}

class CFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("orvex-dialog-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        for (const char* name : {"firmware", "page0.hex"})
            std::ofstream(m_dir / name) << "x";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Shows the dialog as the Update PFlash command does and lets fnUser act
    // on it.
    bool Open(const std::string& initialName, const std::function<void(QFileDialog*)>& fnUser,
              std::string* pPath) {
        QTimer::singleShot(0, [&] {
            auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (pDialog == nullptr) {
                ADD_FAILURE() << "no file dialog";
                return;
            }
            fnUser(pDialog);
            // A dialog that the user's act left open is cancelled.
            if (pDialog->isVisible())
                pDialog->reject();
        });
        COpenFileRequest request;
        request.initialName = initialName;
        request.defaultExt = "*.hex";
        request.filter = "MCS51 hex files (*.hex)|*.hex|All files (*.*)|*.*||";
        request.flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
        CQtUserSeams seams;
        return seams.OpenFile(request, pPath);
    }

    fs::path m_dir;
    QStringList m_boxes;
};

// The user reads the choices as the commands name them, and the second,
// "All files (*.*)", lists every file, a name without a dot too.
TEST_F(CFileDialogTest, OpenFile_AllFilesChoice_ReadsAsNamedAndListsANameWithoutADot) {
    QStringList choices;
    QStringList listed;
    std::string path;
    EXPECT_FALSE(Open((m_dir / "page0.hex").string(),
                      [&](QFileDialog* pDialog) {
                          auto* pTypes =
                              pDialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                          ASSERT_NE(pTypes, nullptr);
                          for (int i = 0; i < pTypes->count(); ++i)
                              choices << pTypes->itemText(i);
                          // The user picks the second choice.
                          pTypes->setCurrentIndex(1);
                          emit pTypes->activated(1);
                          listed = ListedNames(pDialog, 2);
                          pDialog->reject();
                      },
                      &path));
    EXPECT_EQ(choices.join(QLatin1Char('|')).toStdString(),
              "MCS51 hex files (*.hex)|All files (*.*)");
    listed.sort();
    EXPECT_EQ(listed.join(QLatin1Char(',')).toStdString(), "firmware,page0.hex");
}

TEST_F(CFileDialogTest, OpenFile_NameWithoutSuffix_TakenAsGiven) {
    const struct {
        const char* name;
        std::string initialName;
        const char* typed; // null: the offered name is accepted as it is
    } cases[] = {
        {"OfferedFromProfile", (m_dir / "firmware").string(), nullptr},
        {"Typed", (m_dir / "demo.hex").string(), "firmware"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_boxes.clear();
        std::string path;
        const bool bChosen = Open(
            c.initialName,
            [&](QFileDialog* pDialog) {
                if (c.typed != nullptr) {
                    auto* pEdit = pDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    ASSERT_NE(pEdit, nullptr);
                    pEdit->setText(QString::fromUtf8(c.typed));
                }
                // The user presses Open.
                auto* pButtons = pDialog->findChild<QDialogButtonBox*>();
                ASSERT_NE(pButtons, nullptr);
                QPushButton* pOpen = pButtons->button(QDialogButtonBox::Open);
                EXPECT_TRUE(pOpen->isEnabled()) << "Open is greyed out";
                // A box raised for a name the dialog cannot find is recorded
                // and closed from inside its own loop.
                QTimer::singleShot(0, pDialog, [this] {
                    if (auto* pBox =
                            qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                        m_boxes << pBox->text();
                        pBox->reject();
                    }
                });
                pOpen->click();
            },
            &path);
        EXPECT_TRUE(bChosen);
        EXPECT_EQ(path, (m_dir / "firmware").string());
        EXPECT_TRUE(m_boxes.isEmpty()) << m_boxes.join(QStringLiteral(" | ")).toStdString();
    }
}

} // namespace
