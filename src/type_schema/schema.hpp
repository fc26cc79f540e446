// A type-schema text together with its compiled form. The text is compiled
// the first time it is matched; copies share text and compiled form, so a
// pattern copied into a query or a result compiles its schema at most once.
#pragma once

#include "type_schema/schema_matcher.hpp"

#include <memory>
#include <string>

namespace voralix {

class Schema {
public:
    explicit Schema(std::string text) : state_(std::make_shared<State>(std::move(text))) {}

    const std::string& text() const noexcept { return state_->text; }
    bool matches(const Type& t) const { return compiled().matches(t); }
    bool capture(const Type& t, CaptureList& out) const { return compiled().capture(t, out); }

private:
    struct State {
        explicit State(std::string t) : text(std::move(t)) {}
        std::string text;
        std::unique_ptr<const CompiledSchema> compiled;
    };
    const CompiledSchema& compiled() const
    {
        if (!state_->compiled) state_->compiled = std::make_unique<CompiledSchema>(state_->text);
        return *state_->compiled;
    }
    std::shared_ptr<State> state_;
};

} // namespace voralix
