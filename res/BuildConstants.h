// Values fixed at build time: the maker's web site and the support address. Both live under a
// reserved example domain until the product has real ones.
#ifndef VELQUETH_RES_BUILDCONSTANTS_H
#define VELQUETH_RES_BUILDCONSTANTS_H

#define VELQUETH_WEB_URL        "http://www.hestrel.example/velqueth"
#define VELQUETH_SUPPORT_EMAIL  "support@hestrel.example"
#define VELQUETH_COMPANY        "Hestrel Ltd."
#define VELQUETH_COPYRIGHT      "Copyright (C) 2026 Hestrel Ltd."

#endif
