// Two small web helpers of the Extras menu on plain data: HTML with fake mail
// addresses (to feed address harvesters), and ad server host names for the
// hosts file. Platform-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// `count` mailto links to made-up addresses, one per line. Every address is in
// the reserved top-level domain ".invalid", so no real mailbox is ever named.
std::string fake_email_html(uint32_t seed, unsigned count = 25);

// The host names in a text: words and URLs (their host part) made of labels of
// letters, digits and '-', with at least one dot, not a bare address; each
// once, lower-cased, in order, at most `limit`.
std::vector<std::string> ad_server_hosts(std::string_view text, std::size_t limit = 1000);

// What to append to a hosts file holding `existing` so that every host of
// `hosts` not yet named there points at 0.0.0.0: one "0.0.0.0 host" line
// each, with a line break first when the file does not end in one.
std::string hosts_file_addition(std::string_view existing, const std::vector<std::string>& hosts);

}  // namespace kestrin
