#pragma once

// The panel's form, written the way Qt's user-interface compiler writes a form: a record of
// widget pointers, a setupUi that builds the tree on the top widget and a retranslateUi that
// sets every visible text. The form has no behaviour; OptiTrackController connects and fills it.

#include <QtCore/QCoreApplication>
#include <QtCore/QMetaObject>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QFormLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QVBoxLayout>
#include <QtWidgets/QWidget>

namespace Quorvane {

/// Non-owning pointers into the top widget's object tree; null until setupUi() ran.
class Ui_OptiTrackController
{
public:
    QVBoxLayout* verticalLayout_2 = nullptr;
    QFormLayout* formLayout = nullptr;
    QLabel* label = nullptr;
    QComboBox* connectionComboBox = nullptr;
    QWidget* multicastWidget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QListWidget* serversList = nullptr;
    QWidget* unicastWidget = nullptr;
    QFormLayout* formLayout_2 = nullptr;
    QLabel* serverAddressLabel = nullptr;
    QLineEdit* serverAddressLineEdit = nullptr;
    QLabel* commandPortLabel = nullptr;
    QSpinBox* commandPortSpinBox = nullptr;
    QLabel* dataPortLabel = nullptr;
    QSpinBox* dataPortSpinBox = nullptr;
    QVBoxLayout* verticalLayout_3 = nullptr;
    QPushButton* connectPushButton = nullptr;

    void setupUi(QWidget* OptiTrackController)
    {
        if (OptiTrackController->objectName().isEmpty()) {
            OptiTrackController->setObjectName(QString::fromUtf8("OptiTrackController"));
        }
        OptiTrackController->resize(511, 519);

        verticalLayout_2 = new QVBoxLayout(OptiTrackController);
        verticalLayout_2->setObjectName(QString::fromUtf8("verticalLayout_2"));
        formLayout = new QFormLayout();
        formLayout->setObjectName(QString::fromUtf8("formLayout"));
        label = new QLabel(OptiTrackController);
        label->setObjectName(QString::fromUtf8("label"));
        formLayout->setWidget(0, QFormLayout::LabelRole, label);

        connectionComboBox = new QComboBox(OptiTrackController);
        connectionComboBox->addItem(QString());
        connectionComboBox->addItem(QString());
        connectionComboBox->setObjectName(QString::fromUtf8("connectionComboBox"));
        formLayout->setWidget(0, QFormLayout::FieldRole, connectionComboBox);

        verticalLayout_2->addLayout(formLayout);

        multicastWidget = new QWidget(OptiTrackController);
        multicastWidget->setObjectName(QString::fromUtf8("multicastWidget"));
        verticalLayout = new QVBoxLayout(multicastWidget);
        verticalLayout->setObjectName(QString::fromUtf8("verticalLayout"));
        verticalLayout->setContentsMargins(0, 0, 0, 0);
        serversList = new QListWidget(multicastWidget);
        serversList->setObjectName(QString::fromUtf8("serversList"));
        QSizePolicy sizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        sizePolicy.setHorizontalStretch(0);
        sizePolicy.setVerticalStretch(0);
        sizePolicy.setHeightForWidth(serversList->sizePolicy().hasHeightForWidth());
        serversList->setSizePolicy(sizePolicy);
        verticalLayout->addWidget(serversList);

        verticalLayout_2->addWidget(multicastWidget);

        unicastWidget = new QWidget(OptiTrackController);
        unicastWidget->setObjectName(QString::fromUtf8("unicastWidget"));
        formLayout_2 = new QFormLayout(unicastWidget);
        formLayout_2->setObjectName(QString::fromUtf8("formLayout_2"));
        formLayout_2->setContentsMargins(0, 0, 0, 0);
        serverAddressLabel = new QLabel(unicastWidget);
        serverAddressLabel->setObjectName(QString::fromUtf8("serverAddressLabel"));
        formLayout_2->setWidget(0, QFormLayout::LabelRole, serverAddressLabel);

        serverAddressLineEdit = new QLineEdit(unicastWidget);
        serverAddressLineEdit->setObjectName(QString::fromUtf8("serverAddressLineEdit"));
        formLayout_2->setWidget(0, QFormLayout::FieldRole, serverAddressLineEdit);

        commandPortLabel = new QLabel(unicastWidget);
        commandPortLabel->setObjectName(QString::fromUtf8("commandPortLabel"));
        formLayout_2->setWidget(1, QFormLayout::LabelRole, commandPortLabel);

        commandPortSpinBox = new QSpinBox(unicastWidget);
        commandPortSpinBox->setObjectName(QString::fromUtf8("commandPortSpinBox"));
        commandPortSpinBox->setMaximum(65535);
        commandPortSpinBox->setValue(1510);
        formLayout_2->setWidget(1, QFormLayout::FieldRole, commandPortSpinBox);

        dataPortLabel = new QLabel(unicastWidget);
        dataPortLabel->setObjectName(QString::fromUtf8("dataPortLabel"));
        formLayout_2->setWidget(2, QFormLayout::LabelRole, dataPortLabel);

        dataPortSpinBox = new QSpinBox(unicastWidget);
        dataPortSpinBox->setObjectName(QString::fromUtf8("dataPortSpinBox"));
        dataPortSpinBox->setMaximum(65535);
        dataPortSpinBox->setValue(1511);
        formLayout_2->setWidget(2, QFormLayout::FieldRole, dataPortSpinBox);

        verticalLayout_2->addWidget(unicastWidget);

        verticalLayout_3 = new QVBoxLayout();
        verticalLayout_3->setObjectName(QString::fromUtf8("verticalLayout_3"));
        verticalLayout_3->setContentsMargins(-1, 6, -1, 0);
        connectPushButton = new QPushButton(OptiTrackController);
        connectPushButton->setObjectName(QString::fromUtf8("connectPushButton"));
        verticalLayout_3->addWidget(connectPushButton);

        verticalLayout_2->addLayout(verticalLayout_3);

        retranslateUi(OptiTrackController);

        QMetaObject::connectSlotsByName(OptiTrackController);
    }

    void retranslateUi(QWidget* OptiTrackController)
    {
        OptiTrackController->setWindowTitle(
            QCoreApplication::translate("OptiTrackController", "Form", nullptr));
        label->setText(QCoreApplication::translate("OptiTrackController", "Connection", nullptr));
        connectionComboBox->setItemText(
            0, QCoreApplication::translate("OptiTrackController", "Unicast", nullptr));
        connectionComboBox->setItemText(
            1, QCoreApplication::translate("OptiTrackController", "Multicast", nullptr));
        serverAddressLabel->setText(
            QCoreApplication::translate("OptiTrackController", "Server Address", nullptr));
        serverAddressLineEdit->setText(
            QCoreApplication::translate("OptiTrackController", "127.0.0.1", nullptr));
        commandPortLabel->setText(
            QCoreApplication::translate("OptiTrackController", "Command Port", nullptr));
        dataPortLabel->setText(QCoreApplication::translate("OptiTrackController", "Data Port", nullptr));
        connectPushButton->setText(QCoreApplication::translate("OptiTrackController", "Connect", nullptr));
    }
};

}  // namespace Quorvane
