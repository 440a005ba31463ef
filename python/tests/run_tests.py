#!/usr/bin/python3
"""Runs the module's tests under the Python that runs this file; exit status 77 (skipped)
when NumPy or the module cannot be imported."""
import os
import sys
import unittest

try:
    import numpy  # noqa: F401
except ImportError:
    print("numpy is not installed (Debian: python3-numpy): the module's tests are skipped")
    sys.exit(77)

here = os.path.dirname(os.path.abspath(__file__))
suite = unittest.defaultTestLoader.discover(here, pattern="test_*.py")
result = unittest.TextTestRunner(verbosity=2).run(suite)
sys.exit(0 if result.wasSuccessful() else 1)
