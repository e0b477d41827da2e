// The panel's form: tree, object names, places in the layouts, texts and limits.

#include "PanelTestSupport.h"

#include <QFormLayout>
#include <QTranslator>

#include <gtest/gtest.h>

namespace Quorvane {
namespace {

struct FormRow
{
    const char* name;
    const QMetaObject* type;
    const char* parent;  // the widget it was created on (or whose layout adopted it)
    const char* text;    // its text after setupUi, if it has one
};

QString textOf(QObject* object)
{
    auto* combo = qobject_cast<QComboBox*>(object);
    return combo ? combo->currentText() : object->property("text").toString();
}

TEST(Form, TreeNamesPlacesAndTexts)
{
    QWidget top;
    Ui_OptiTrackController ui{};  // uic leaves the pointers uninitialised until setupUi
    ui.setupUi(&top);
    EXPECT_EQ(top.objectName(), "OptiTrackController");
    EXPECT_EQ(top.windowTitle(), "Form");
    EXPECT_EQ(top.size(), QSize(511, 519));
    // Built in the test: the meta-objects are other translation units' statics.
    const FormRow form[] = {
        {"verticalLayout_2", &QVBoxLayout::staticMetaObject, "OptiTrackController", nullptr},
        {"formLayout", &QFormLayout::staticMetaObject, "OptiTrackController", nullptr},
        {"label", &QLabel::staticMetaObject, "OptiTrackController", "Connection"},
        {"connectionComboBox", &QComboBox::staticMetaObject, "OptiTrackController", "Unicast"},
        {"multicastWidget", &QWidget::staticMetaObject, "OptiTrackController", nullptr},
        {"verticalLayout", &QVBoxLayout::staticMetaObject, "multicastWidget", nullptr},
        {"serversList", &QListWidget::staticMetaObject, "multicastWidget", nullptr},
        {"unicastWidget", &QWidget::staticMetaObject, "OptiTrackController", nullptr},
        {"formLayout_2", &QFormLayout::staticMetaObject, "unicastWidget", nullptr},
        {"serverAddressLabel", &QLabel::staticMetaObject, "unicastWidget", "Server Address"},
        {"serverAddressLineEdit", &QLineEdit::staticMetaObject, "unicastWidget", "127.0.0.1"},
        {"commandPortLabel", &QLabel::staticMetaObject, "unicastWidget", "Command Port"},
        {"commandPortSpinBox", &QSpinBox::staticMetaObject, "unicastWidget", "1510"},
        {"dataPortLabel", &QLabel::staticMetaObject, "unicastWidget", "Data Port"},
        {"dataPortSpinBox", &QSpinBox::staticMetaObject, "unicastWidget", "1511"},
        {"verticalLayout_3", &QVBoxLayout::staticMetaObject, "OptiTrackController", nullptr},
        {"connectPushButton", &QPushButton::staticMetaObject, "OptiTrackController", "Connect"},
    };
    for (const FormRow& row : form) {
        SCOPED_TRACE(row.name);
        QObject* object = top.findChild<QObject*>(QString::fromLatin1(row.name));
        ASSERT_NE(object, nullptr);
        EXPECT_STREQ(object->metaObject()->className(), row.type->className());
        auto* layout = qobject_cast<QLayout*>(object);
        QWidget* parent = layout ? layout->parentWidget() : qobject_cast<QWidget*>(object)->parentWidget();
        EXPECT_EQ(parent->objectName(), row.parent);
        if (row.text) {
            EXPECT_EQ(textOf(object), row.text);
        }
    }
    EXPECT_EQ(ui.connectionComboBox->itemText(1), "Multicast");
    // Top to bottom: the choice, the server list, the address fields, the button.
    EXPECT_EQ(ui.verticalLayout_2->count(), 4);
    EXPECT_EQ(ui.verticalLayout_2->itemAt(0)->layout(), ui.formLayout);
    EXPECT_EQ(ui.verticalLayout_2->indexOf(ui.multicastWidget), 1);
    EXPECT_EQ(ui.verticalLayout_2->indexOf(ui.unicastWidget), 2);
    EXPECT_EQ(ui.verticalLayout_2->itemAt(3)->layout(), ui.verticalLayout_3);
    EXPECT_EQ(ui.formLayout_2->itemAt(1, QFormLayout::FieldRole)->widget(), ui.commandPortSpinBox);
    EXPECT_EQ(ui.verticalLayout_3->contentsMargins().top(), 6);
}

struct FormPlace
{
    const char* layout;
    int row;
    QFormLayout::ItemRole role;
    const char* widget;
};

TEST(Form, RowsMarginsPolicyAndTabOrder)
{
    QWidget top;
    Ui_OptiTrackController ui{};
    ui.setupUi(&top);
    const FormPlace places[] = {
        {"formLayout", 0, QFormLayout::LabelRole, "label"},
        {"formLayout", 0, QFormLayout::FieldRole, "connectionComboBox"},
        {"formLayout_2", 0, QFormLayout::LabelRole, "serverAddressLabel"},
        {"formLayout_2", 0, QFormLayout::FieldRole, "serverAddressLineEdit"},
        {"formLayout_2", 1, QFormLayout::LabelRole, "commandPortLabel"},
        {"formLayout_2", 1, QFormLayout::FieldRole, "commandPortSpinBox"},
        {"formLayout_2", 2, QFormLayout::LabelRole, "dataPortLabel"},
        {"formLayout_2", 2, QFormLayout::FieldRole, "dataPortSpinBox"},
    };
    for (const FormPlace& place : places) {
        SCOPED_TRACE(place.widget);
        auto* layout = top.findChild<QFormLayout*>(QString::fromLatin1(place.layout));
        ASSERT_NE(layout, nullptr);
        QLayoutItem* item = layout->itemAt(place.row, place.role);
        ASSERT_NE(item, nullptr);
        ASSERT_NE(item->widget(), nullptr);
        EXPECT_EQ(item->widget()->objectName().toStdString(), place.widget);
    }
    EXPECT_EQ(ui.formLayout->rowCount(), 1);
    EXPECT_EQ(ui.formLayout_2->rowCount(), 3);
    EXPECT_EQ(ui.connectionComboBox->count(), 2);
    ASSERT_EQ(ui.verticalLayout->count(), 1);
    EXPECT_EQ(ui.verticalLayout->itemAt(0)->widget(), ui.serversList);
    ASSERT_EQ(ui.verticalLayout_3->count(), 1);
    EXPECT_EQ(ui.verticalLayout_3->itemAt(0)->widget(), ui.connectPushButton);

    // The two switchable parts sit flush with the form; the button keeps a gap above only.
    EXPECT_EQ(ui.verticalLayout->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(ui.formLayout_2->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(ui.verticalLayout_3->contentsMargins().bottom(), 0);
    EXPECT_EQ(ui.serversList->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
    for (QSpinBox* box : {ui.commandPortSpinBox, ui.dataPortSpinBox}) {
        EXPECT_EQ(box->minimum(), 0);
        EXPECT_EQ(box->maximum(), 65535);
    }

    // Tab order follows the order the widgets were made in: top to bottom.
    const QStringList expected = {"label",
                                  "connectionComboBox",
                                  "multicastWidget",
                                  "serversList",
                                  "unicastWidget",
                                  "serverAddressLabel",
                                  "serverAddressLineEdit",
                                  "commandPortLabel",
                                  "commandPortSpinBox",
                                  "dataPortLabel",
                                  "dataPortSpinBox",
                                  "connectPushButton"};
    QStringList chain;
    QWidget* widget = top.nextInFocusChain();
    for (int step = 0; widget != &top && step < 1000; ++step, widget = widget->nextInFocusChain()) {
        if (expected.contains(widget->objectName())) {
            chain.append(widget->objectName());
        }
    }
    EXPECT_EQ(chain.join(", ").toStdString(), expected.join(", ").toStdString());
}

TEST(Form, PortsClampAndAGivenNameIsKept)
{
    QWidget top;
    top.setObjectName("HostGivenName");
    Ui_OptiTrackController ui{};
    ui.setupUi(&top);
    EXPECT_EQ(top.objectName(), "HostGivenName");
    for (QSpinBox* box : {ui.commandPortSpinBox, ui.dataPortSpinBox}) {
        for (const auto& [given, shown] :
             {std::pair{65535, 65535}, {65536, 65535}, {-1, 0}, {41510, 41510}}) {
            box->setValue(given);
            EXPECT_EQ(box->value(), shown) << given;
        }
    }
}

/// Brackets every text of the panel's context, so that a text set without it stands out.
class BracketingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* text, const char*, int) const override
    {
        return QLatin1String(context) == QLatin1String("OptiTrackController")
                   ? QStringLiteral("[%1]").arg(text)
                   : QString();
    }
    bool isEmpty() const override { return false; }
};

TEST(Form, EveryTextGoesThroughTheTranslationContext)
{
    QWidget top;
    Ui_OptiTrackController ui{};
    ui.setupUi(&top);
    BracketingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    ui.retranslateUi(&top);
    QCoreApplication::removeTranslator(&translator);
    for (const QString& text :
         {top.windowTitle(), ui.label->text(), ui.connectionComboBox->itemText(0),
          ui.connectionComboBox->itemText(1), ui.serverAddressLabel->text(), ui.serverAddressLineEdit->text(),
          ui.commandPortLabel->text(), ui.dataPortLabel->text(), ui.connectPushButton->text()}) {
        EXPECT_TRUE(text.startsWith('[') && text.endsWith(']')) << text.toStdString();
    }
}

}  // namespace
}  // namespace Quorvane
