#include "http/front_end.h"

#include "http/dispatcher.h"
#include "http/mime_table.h"
#include "http/virtual_hosts.h"

namespace qorsv {

HttpFrontEnd::HttpFrontEnd() : listener_(HTTPServerCommandGet), host_editor_(HostRootDirs()) {}

void HttpFrontEnd::LoadMimeTable() { qorsv::LoadMimeTable(); }

std::vector<std::string> HttpFrontEnd::ReadHostTable() { return host_editor_.ReadAndShowHosts(); }

}  // namespace qorsv
