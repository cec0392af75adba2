#pragma once

namespace voltrex::remote {

// The status page and its script: one page that a phone shows well, which
// asks for state.json every two seconds and for the graph when it changed.
// Both refer to the other routes by relative names, so the page works the
// same at "/" and under "/<token>/".
extern const char* const PageHtml;
extern const char* const PageScript;

}  // namespace voltrex::remote
