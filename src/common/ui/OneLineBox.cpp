#include "common/ui/OneLineBox.h"

#include "common/TextHelpers.h"

#include <QLineEdit>
#include <QValidator>

namespace common {
namespace {

class OneLineValidator final : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override
    {
        if (!hasLineBreak(input))
            return Acceptable;
        const int before = int(withoutLineBreaks(input.left(pos)).size());
        input = withoutLineBreaks(input);
        pos = before;
        return Acceptable;
    }
    void fixup(QString &input) const override { input = withoutLineBreaks(input); }
};

} // namespace

void makeOneLine(QLineEdit *box)
{
    box->setValidator(new OneLineValidator(box));
    if (hasLineBreak(box->text()))
        box->setText(withoutLineBreaks(box->text()));
}

} // namespace common
