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
    Ui_OptiTrackController ui;
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

TEST(Form, PortsClampAndAGivenNameIsKept)
{
    QWidget top;
    top.setObjectName("HostGivenName");
    Ui_OptiTrackController ui;
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
    Ui_OptiTrackController ui;
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
