#include "flash/display/text_field.h"

#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

namespace vantrel::flash {

TextField::TextField(Player& player, const LoadedMovie* movie, const EditText& definition)
    : DisplayObject(DisplayKind::EditText, player, movie), field_(std::make_shared<EditText>(definition)) {
  text_ = definition.initialText;
  variable = definition.variableName.toStdString();
  character = field_;
}

QString TextField::Text() const { return field_->html ? HtmlToPlainText(text_) : text_; }

void TextField::SetText(const QString& text) {
  if (field_->html) {
    QString escaped = text.toHtmlEscaped();
    text_ = escaped;
  } else {
    text_ = text;
  }
  Changed();
}

QString TextField::HtmlText() const { return field_->html ? text_ : text_.toHtmlEscaped(); }

void TextField::SetHtmlText(const QString& html) {
  text_ = field_->html ? html : HtmlToPlainText(html);
  Changed();
}

void TextField::Changed() {
  auto copy = std::make_shared<EditText>(*field_);
  copy->initialText = text_;
  copy->border = field_->border;
  field_ = copy;
  character = field_;
}

QRectF TextField::LocalBounds() const { return field_->Bounds(0); }

bool TextField::SyncVariable() {
  if (variable.empty() || !parent_ || Removed()) return false;
  avm1::Interpreter& machine = player_.Machine();
  avm1::Object* scope = parent_->ScriptObject();
  if (!scope) return false;
  machine.SetDefaultVersion(movie_->Version());
  // "path:name" and "a.b" names are read through the parent's paths.
  avm1::Value value;
  const std::size_t colon = variable.rfind(':');
  const std::size_t dot = variable.rfind('.');
  if (colon != std::string::npos || dot != std::string::npos) {
    const std::size_t split = colon != std::string::npos ? colon : dot;
    DisplayObject* owner = avm1::ResolveTarget(machine, parent_, variable.substr(0, split));
    if (!owner || !owner->ScriptObject()) return false;
    value = machine.Get(owner->ScriptObject(), variable.substr(split + 1));
  } else {
    if (!machine.Has(scope, variable)) {
      // A bound variable that does not exist yet takes the field's text.
      machine.Set(scope, variable, machine.Str(Text().toStdString()));
      return false;
    }
    value = machine.Get(scope, variable);
  }
  const QString text = QString::fromStdString(value.IsUndefined() ? std::string() : machine.ToString(value));
  if (text == text_) return false;
  text_ = text;
  Changed();
  return true;
}

}  // namespace vantrel::flash
