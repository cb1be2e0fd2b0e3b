#include "onboarding/steps/StepLook.h"

#include <QVBoxLayout>
#include <QWidget>

QWidget* centredColumn(int maxWidth, QLayout* content)
{
    auto* widget = new QWidget;
    widget->setMaximumWidth(maxWidth);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* centring = new QVBoxLayout(widget);
    centring->setContentsMargins(0, 0, 0, 0);
    centring->addStretch(1);
    centring->addLayout(content);
    centring->addStretch(1);
    return widget;
}
