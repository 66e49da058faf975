#pragma once

// The one way into libre's and librem's headers. They must see the
// definitions the installed libraries were built with, which only the
// porthold_libre target supplies; a user that missed them would compile but
// disagree with the libraries, so the mismatch is made a compile error here.

#include <arpa/inet.h>
#include <re.h>
#include <rem.h>

#include <cstddef>

#ifndef HAVE_INET6
#error "libre users must be built with HAVE_INET6; link porthold_libre"
#endif
#ifndef HAVE_STDBOOL_H
#error "libre users must be built with HAVE_STDBOOL_H; link porthold_libre"
#endif

static_assert(NET_ADDRSTRLEN == INET6_ADDRSTRLEN,
              "libre writes IPv6 address text, so buffers need the IPv6 length");
static_assert(sizeof(struct sa) == 32 && offsetof(struct sa, len) == 28,
              "struct sa must match the layout the installed libre was built with");
