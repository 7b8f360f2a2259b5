# The table of routine help texts that the routines_*.py files fill, and its families in the
# order of the index. Each entry: name (as the page title; the file is the name in lower case +
# ".htm"), what it does, its errors, and a short example script.

FAMILIES = [
    ("output", "Writing the page and talking to the operator"),
    ("request", "Request and response"),
    ("textfiles", "Text files"),
    ("files", "Files and folders"),
    ("conversions", "Number conversions"),
    ("strings", "Strings"),
    ("math", "Arithmetic and random numbers"),
    ("time", "Date and time"),
    ("network", "Network"),
    ("sql", "SQL databases"),
    ("mail", "Mail"),
    ("variants", "Variants"),
    ("exceptions", "Exceptions"),
    ("arrays", "Arrays and memory"),
    ("ordinals", "Ordinal values and sets"),
    ("server", "Called by the server"),
]

NO_ERRORS = "None."

R = []


def routine(name, family, does, errors, example):
    R.append(dict(name=name, family=family, does=does, errors=errors, example=example))
