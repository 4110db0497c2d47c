#ifndef TAV_INDICATORSTYLES_H
#define TAV_INDICATORSTYLES_H

#include <QString>

// The four looks of the setting fields and the search button. They are built
// once, before any widget exists, and always applied unchanged: the search
// reads BT_find's style sheet back and compares it with styleLight.
extern const QString styleGreen;
extern const QString styleGray;
extern const QString styleLight;
extern const QString styleRed;

// The fields' pop-up lists: a look of their own, plain and readable, so
// that the indicator gradients of the fields do not reach into them. The
// highlighted row is white on dark blue (6.7:1), the others black on white.
extern const QString stylePopup;

namespace IndicatorStyles {
// Corner radius substituted for "%1" in every template, in pixels.
constexpr int cornerRadius = 5;

QString fromTemplate(const QString &templ);
} // namespace IndicatorStyles

#endif // TAV_INDICATORSTYLES_H
