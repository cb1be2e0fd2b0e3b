#pragma once

#include "shell/kit/Typography.h"

#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QTextLayout;

namespace kit {

// A stretch of text with a look of its own within a text: emphasised (drawn in the bold face of
// the text's family, "Geist-SemiBold" or "GeistMono-Medium") and/or in its own colour.
struct TextRun
{
    QString text;
    bool emphasized = false;
    std::optional<QColor> color;

    friend bool operator==(const TextRun&, const TextRun&) = default;
};

// Splits text at "**" markers into plain and emphasised runs ("Click **Share Screen**."); an
// unpaired marker stays as written.
QList<TextRun> parseEmphasis(const QString& text);
// The look of an emphasised run in a text of this look.
TextLook emphasizedLook(const TextLook& look);

enum class TextAlignment
{
    Leading,
    Center,
    Trailing
};

struct TextOptions
{
    double lineSpacing = 0; // extra points between lines
    TextAlignment alignment = TextAlignment::Leading;
    int lineLimit = 0; // at most this many lines, the last cut with "…"; 0 for no limit
};

// Text laid out at a width: wrapped at word boundaries (inside a word only when the word alone
// is too wide), lines set apart by the line spacing, and cut to the line limit with "…" on the
// last line shown. The arithmetic of `TextView`, usable on its own by views that paint.
class TextBlock
{
public:
    TextBlock(const QList<TextRun>& runs,
              const TextLook& look,
              const TextOptions& options,
              double width,
              const QPaintDevice* device = nullptr);

    // The widest line's width (at most the width laid out at) and the height of all lines.
    QSizeF size() const { return m_size; }
    int lineCount() const;
    // The lines as shown, "…" included.
    QStringList lineTexts() const;
    bool isTruncated() const { return m_truncated; }
    // From the top of the first line to its baseline.
    double firstBaseline() const;

    // Draws the lines from the top of `rect`, each aligned within its width.
    void draw(QPainter& painter, const QRectF& rect) const;

private:
    struct Line
    {
        std::shared_ptr<QTextLayout> layout; // the layout the line belongs to
        int index = 0;                       // its line in that layout
        double y = 0;
    };

    TextOptions m_options;
    QList<Line> m_lines;
    QSizeF m_size;
    bool m_truncated = false;
};

// Text in a look of the kit that wraps to the width it gets and takes the height it needs for
// it (height for width), with line spacing, alignment, a line limit and emphasised runs. A line
// limit of 1 keeps it on one line cut with "…". The look is asked for at every paint, so a look
// that reads the accessibility options follows them on the next redraw. In a taller view the
// lines are centred vertically. Its contents margins pad the text: the text wraps inside them and
// the view's size includes them. Its accessible name is its text.
class TextView final : public QWidget
{
    Q_OBJECT

public:
    using LookProvider = std::function<TextLook()>;

    TextView(const QString& text,
             LookProvider look,
             const TextOptions& options = {},
             QWidget* parent = nullptr);
    TextView(const QString& text,
             const TextLook& look,
             const TextOptions& options = {},
             QWidget* parent = nullptr);

    // The text as written (no emphasis).
    QString text() const;
    void setText(const QString& text);
    // The text with "**" emphasis markers.
    void setMarkdown(const QString& text);
    const QList<TextRun>& runs() const { return m_runs; }
    void setRuns(const QList<TextRun>& runs);

    TextLook look() const { return m_look(); }
    void setLook(LookProvider look);
    const TextOptions& options() const { return m_options; }
    void setOptions(const TextOptions& options);

    // The text laid out at a width.
    TextBlock layoutAt(double width) const;
    // From the top of the view to the first line's baseline at the view's width.
    double firstBaseline() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void changed();

    QList<TextRun> m_runs;
    LookProvider m_look;
    TextOptions m_options;
};

} // namespace kit
