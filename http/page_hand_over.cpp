#include "http/page_hand_over.h"

namespace qorsv {

std::string HandOverToPageProcessor(const PageRequest& page) { return page.page_path; }

}  // namespace qorsv
