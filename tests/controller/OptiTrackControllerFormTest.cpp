// The panel's form: its tree, names, texts, limits and margins, on a bare widget and on the
// panel itself.

#include "PanelTestSupport.h"

#include <QFormLayout>
#include <QTranslator>

#include <gtest/gtest.h>

#include <vector>

namespace Quorvane {
namespace {

struct TreeRow
{
    const char* name;
    const char* className;
    const char* parent;  // object name of the parent widget; empty for a layout without one
};

// Every object of the form, its class and the widget it was created on.
const std::vector<TreeRow> kTree = {
    {"verticalLayout_2", "QVBoxLayout", "OptiTrackController"},
    {"formLayout", "QFormLayout", "OptiTrackController"},  // adopted by verticalLayout_2's widget
    {"label", "QLabel", "OptiTrackController"},
    {"connectionComboBox", "QComboBox", "OptiTrackController"},
    {"multicastWidget", "QWidget", "OptiTrackController"},
    {"verticalLayout", "QVBoxLayout", "multicastWidget"},
    {"serversList", "QListWidget", "multicastWidget"},
    {"unicastWidget", "QWidget", "OptiTrackController"},
    {"formLayout_2", "QFormLayout", "unicastWidget"},
    {"serverAddressLabel", "QLabel", "unicastWidget"},
    {"serverAddressLineEdit", "QLineEdit", "unicastWidget"},
    {"commandPortLabel", "QLabel", "unicastWidget"},
    {"commandPortSpinBox", "QSpinBox", "unicastWidget"},
    {"dataPortLabel", "QLabel", "unicastWidget"},
    {"dataPortSpinBox", "QSpinBox", "unicastWidget"},
    {"verticalLayout_3", "QVBoxLayout", "OptiTrackController"},
    {"connectPushButton", "QPushButton", "OptiTrackController"},
};

QString parentWidgetName(const QObject* object)
{
    if (auto* widget = qobject_cast<const QWidget*>(object)) {
        return widget->parentWidget() ? widget->parentWidget()->objectName() : QString();
    }
    auto* layout = qobject_cast<const QLayout*>(object);
    return layout && layout->parentWidget() ? layout->parentWidget()->objectName() : QString();
}

class FormTest : public ::testing::Test
{
protected:
    FormTest() { ui.setupUi(&top); }
    QWidget top;
    Ui_OptiTrackController ui;
};

TEST_F(FormTest, TreeHasEveryObjectWithItsClassAndParent)
{
    EXPECT_EQ(top.objectName(), "OptiTrackController");
    for (const TreeRow& row : kTree) {
        SCOPED_TRACE(row.name);
        auto* object = top.findChild<QObject*>(QString::fromLatin1(row.name));
        ASSERT_NE(object, nullptr);
        EXPECT_STREQ(object->metaObject()->className(), row.className);
        EXPECT_EQ(parentWidgetName(object), QString::fromLatin1(row.parent));
    }
    // The record points at exactly these objects.
    EXPECT_EQ(ui.serversList, top.findChild<QListWidget*>("serversList"));
    EXPECT_EQ(ui.connectPushButton, top.findChild<QPushButton*>("connectPushButton"));
}

TEST_F(FormTest, LayoutsHoldTheirItemsInOrder)
{
    ASSERT_EQ(top.layout(), ui.verticalLayout_2);
    ASSERT_EQ(ui.verticalLayout_2->count(), 4);
    EXPECT_EQ(ui.verticalLayout_2->itemAt(0)->layout(), ui.formLayout);
    EXPECT_EQ(ui.verticalLayout_2->itemAt(1)->widget(), ui.multicastWidget);
    EXPECT_EQ(ui.verticalLayout_2->itemAt(2)->widget(), ui.unicastWidget);
    EXPECT_EQ(ui.verticalLayout_2->itemAt(3)->layout(), ui.verticalLayout_3);

    EXPECT_EQ(ui.formLayout->itemAt(0, QFormLayout::LabelRole)->widget(), ui.label);
    EXPECT_EQ(ui.formLayout->itemAt(0, QFormLayout::FieldRole)->widget(), ui.connectionComboBox);
    EXPECT_EQ(ui.multicastWidget->layout(), ui.verticalLayout);
    ASSERT_EQ(ui.verticalLayout->count(), 1);
    EXPECT_EQ(ui.verticalLayout->itemAt(0)->widget(), ui.serversList);

    EXPECT_EQ(ui.unicastWidget->layout(), ui.formLayout_2);
    const std::vector<std::pair<QWidget*, QWidget*>> rows = {{ui.serverAddressLabel, ui.serverAddressLineEdit},
                                                             {ui.commandPortLabel, ui.commandPortSpinBox},
                                                             {ui.dataPortLabel, ui.dataPortSpinBox}};
    ASSERT_EQ(ui.formLayout_2->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(ui.formLayout_2->itemAt(row, QFormLayout::LabelRole)->widget(), rows[row].first) << row;
        EXPECT_EQ(ui.formLayout_2->itemAt(row, QFormLayout::FieldRole)->widget(), rows[row].second) << row;
    }
    ASSERT_EQ(ui.verticalLayout_3->count(), 1);
    EXPECT_EQ(ui.verticalLayout_3->itemAt(0)->widget(), ui.connectPushButton);
}

TEST_F(FormTest, MarginsSizePolicyAndSize)
{
    EXPECT_EQ(ui.verticalLayout->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(ui.formLayout_2->contentsMargins(), QMargins(0, 0, 0, 0));
    const QMargins buttonRow = ui.verticalLayout_3->contentsMargins();
    EXPECT_EQ(buttonRow.top(), 6);
    EXPECT_EQ(buttonRow.bottom(), 0);
    const QSizePolicy policy = ui.serversList->sizePolicy();
    EXPECT_EQ(policy.horizontalPolicy(), QSizePolicy::Expanding);
    EXPECT_EQ(policy.verticalPolicy(), QSizePolicy::Expanding);
    EXPECT_EQ(policy.horizontalStretch(), 0);
    EXPECT_EQ(policy.verticalStretch(), 0);
    EXPECT_EQ(top.size(), QSize(511, 519));
}

TEST_F(FormTest, InitialValues)
{
    EXPECT_EQ(top.windowTitle(), "Form");
    EXPECT_EQ(ui.label->text(), "Connection");
    ASSERT_EQ(ui.connectionComboBox->count(), 2);
    EXPECT_EQ(ui.connectionComboBox->itemText(0), "Unicast");
    EXPECT_EQ(ui.connectionComboBox->itemText(1), "Multicast");
    EXPECT_FALSE(ui.connectionComboBox->itemData(0).isValid());
    EXPECT_EQ(ui.connectionComboBox->currentIndex(), 0);
    EXPECT_EQ(ui.serverAddressLabel->text(), "Server Address");
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "127.0.0.1");
    EXPECT_TRUE(ui.serverAddressLineEdit->placeholderText().isEmpty());
    EXPECT_EQ(ui.commandPortLabel->text(), "Command Port");
    EXPECT_EQ(ui.commandPortSpinBox->value(), 1510);
    EXPECT_EQ(ui.dataPortLabel->text(), "Data Port");
    EXPECT_EQ(ui.dataPortSpinBox->value(), 1511);
    EXPECT_EQ(ui.connectPushButton->text(), "Connect");
    EXPECT_EQ(ui.serversList->count(), 0);
    EXPECT_TRUE(ui.serversList->isEnabled());
}

TEST_F(FormTest, PortSpinBoxesClampToTheirRange)
{
    struct Row
    {
        int given;
        int shown;
    };
    for (QSpinBox* box : {ui.commandPortSpinBox, ui.dataPortSpinBox}) {
        EXPECT_EQ(box->minimum(), 0);
        EXPECT_EQ(box->maximum(), 65535);
        for (const Row row : {Row{65535, 65535}, Row{65536, 65535}, Row{1 << 20, 65535}, Row{0, 0}, Row{-1, 0},
                              Row{-70000, 0}, Row{41510, 41510}}) {
            box->setValue(row.given);
            EXPECT_EQ(box->value(), row.shown) << box->objectName().toStdString() << " given " << row.given;
        }
    }
}

TEST(FormNameTest, AnObjectNameAlreadySetIsKept)
{
    QWidget named;
    named.setObjectName("HostGivenName");
    Ui_OptiTrackController ui;
    ui.setupUi(&named);
    EXPECT_EQ(named.objectName(), "HostGivenName");
}

/// Brackets every text of the panel's translation context, so that a text set without
/// translate() or in another context stands out.
class BracketingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override
    {
        if (QLatin1String(context) != QLatin1String("OptiTrackController")) {
            return QString();
        }
        return QStringLiteral("[%1]").arg(QString::fromUtf8(sourceText));
    }
    bool isEmpty() const override { return false; }
};

TEST_F(FormTest, EveryTextGoesThroughTheTranslationContext)
{
    BracketingTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    ui.retranslateUi(&top);
    QCoreApplication::removeTranslator(&translator);

    EXPECT_EQ(top.windowTitle(), "[Form]");
    EXPECT_EQ(ui.label->text(), "[Connection]");
    EXPECT_EQ(ui.connectionComboBox->itemText(0), "[Unicast]");
    EXPECT_EQ(ui.connectionComboBox->itemText(1), "[Multicast]");
    EXPECT_EQ(ui.serverAddressLabel->text(), "[Server Address]");
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "[127.0.0.1]");
    EXPECT_EQ(ui.commandPortLabel->text(), "[Command Port]");
    EXPECT_EQ(ui.dataPortLabel->text(), "[Data Port]");
    EXPECT_EQ(ui.connectPushButton->text(), "[Connect]");
}

class PanelFormTest : public Support::PanelTest
{
};

TEST_F(PanelFormTest, ThePanelIsTheFormsTopWidget)
{
    executeAlgorithm();
    OptiTrackController panel(&algorithm);
    EXPECT_EQ(panel.objectName(), "OptiTrackController");
    EXPECT_EQ(panel.windowTitle(), "Form");
    EXPECT_EQ(panel.contentsMargins(), QMargins(9, 9, 9, 9));
    EXPECT_NE(panel.layout(), nullptr);
    EXPECT_NE(panel.findChild<QPushButton*>("connectPushButton"), nullptr);
    // A meta-object class of its own, with nothing of its own declared.
    EXPECT_STREQ(panel.metaObject()->className(), "Quorvane::OptiTrackController");
    EXPECT_STREQ(panel.metaObject()->superClass()->className(), "Quorvane::StreamControllerBase");
    EXPECT_EQ(panel.metaObject()->methodCount(), panel.metaObject()->superClass()->methodCount());
    EXPECT_EQ(panel.metaObject()->propertyCount(), panel.metaObject()->superClass()->propertyCount());
    EXPECT_EQ(panel.qt_metacast("Quorvane::OptiTrackController"), &panel);
}

TEST_F(PanelFormTest, AddressFieldsStayVisibleInBothModes)
{
    executeAlgorithm();
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);
    panel->show();
    for (int index : {1, 0, 1}) {
        ui.connectionComboBox->setCurrentIndex(index);
        EXPECT_TRUE(ui.unicastWidget->isVisible()) << index;
        EXPECT_TRUE(ui.unicastWidget->isEnabled()) << index;
        EXPECT_TRUE(ui.serversList->isVisible()) << index;
        EXPECT_TRUE(ui.serverAddressLineEdit->isEnabled()) << index;
    }
}

}  // namespace
}  // namespace Quorvane
