# The help text of every routine a script can call: the natives of the server, the engine's
# standard routines and the routines of scripts/ext.qor, by family in the routines_*.py files.
# make_help_pages.py turns it into the pages of runtime/help/html/.

import routines_page  # noqa: F401
import routines_values  # noqa: F401
import routines_services  # noqa: F401
import routines_language  # noqa: F401
from routine_table import FAMILIES, NO_ERRORS, R  # noqa: F401
