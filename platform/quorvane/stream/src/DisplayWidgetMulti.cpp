#include <Quorvane/Stream/DisplayWidgetMulti.h>

#include <Quorvane/Stream/InteractiveView.h>

#include <QHBoxLayout>
#include <QPointer>

#include <algorithm>

namespace Quorvane {

namespace Internal {

QPointer<DisplayWidgetMulti>& applicationDisplaySlot()
{
    static QPointer<DisplayWidgetMulti> display;
    return display;
}

}  // namespace Internal

DisplayWidgetMulti::DisplayWidgetMulti(int num2DViews, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const int count = std::max(1, num2DViews);
    for (int i = 0; i < count; ++i) {
        auto* view = new InteractiveView(this);
        view->setObjectName(QStringLiteral("view2D_%1").arg(i));
        view->setVisible(false);
        layout->addWidget(view);
        m_views2D.push_back(view);
    }
    resize(640, 480);
}

DisplayWidgetMulti::~DisplayWidgetMulti() = default;

InteractiveView* DisplayWidgetMulti::view2D(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_views2D.size()) {
        return nullptr;
    }
    return m_views2D[static_cast<std::size_t>(index)];
}

int DisplayWidgetMulti::numViews2D() const
{
    return static_cast<int>(m_views2D.size());
}

void DisplayWidgetMulti::setStream(TrackingStream* stream)
{
    for (InteractiveView* view : m_views2D) {
        view->setStream(stream);
    }
}

DisplayWidgetMulti* DisplayWidgetMulti::applicationDisplay()
{
    return Internal::applicationDisplaySlot().data();
}

void DisplayWidgetMulti::setApplicationDisplay(DisplayWidgetMulti* display)
{
    Internal::applicationDisplaySlot() = display;
}

}  // namespace Quorvane
