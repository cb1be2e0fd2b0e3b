#pragma once

#include "shell/kit/Typography.h"

#include <QColor>
#include <QWidget>

#include <functional>

namespace kit {

// A system symbol as a view of its own, sized for text of its point size: for composing rows,
// tiles and chips. The colour is asked for at every paint, so it can follow hover or the
// accessibility options.
class SymbolView final : public QWidget
{
    Q_OBJECT

public:
    using ColorProvider = std::function<QColor()>;

    SymbolView(QString name,
               double pointSize,
               ColorProvider color,
               FontWeight weight = FontWeight::regular,
               QWidget* parent = nullptr);
    SymbolView(const QString& name,
               double pointSize,
               const QColor& color,
               FontWeight weight = FontWeight::regular,
               QWidget* parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString& name);
    void setColor(ColorProvider color);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString m_name;
    double m_pointSize;
    ColorProvider m_color;
    FontWeight m_weight;
};

} // namespace kit
