#pragma once
// TCodePageValidator: keeps an edit box's text inside code page 1256, the
// code page the phone book stores. Whatever arrives (typed with a system
// layout that gives Farsi yeh or Persian digits, or pasted) is rewritten
// through ICU's fallbacks as it arrives; a text holding a character with no
// fallback at all is refused, so the edit keeps its previous text and no
// substitute byte can ever reach the table.
//
// Threads: GUI thread only, like the edit box it serves.

#include <QValidator>

namespace telvora::app {

class TCodePageValidator : public QValidator {
 public:
  explicit TCodePageValidator(QObject* parent = nullptr);

  State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
};

}  // namespace telvora::app
