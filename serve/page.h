// The one page GET / answers with: a text box, a button and the answer with its scores drawn as
// bars, calling POST /v1/predict. UTF-8, with its style and script inside: it fetches nothing
// else.
#ifndef NEWSCLASS_SERVE_PAGE_H_
#define NEWSCLASS_SERVE_PAGE_H_

#include <string>

namespace newsclass {

const std::string& pageHtml();

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_PAGE_H_
