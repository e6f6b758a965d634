"""The product executable is never the Wine integration build, which takes
Wine's user for LocalSystem: the swap's file writes a mark into the program
that carries it (the whole-update tests show the mark there)."""

import os
import unittest

INTEGRATION_MARK = b"OSTREL WINE INTEGRATION BUILD"


class ProductBuildTest(unittest.TestCase):
    def test_does_not_contain_the_integration_swap(self):
        with open(os.environ["OSTREL_UPDATE_EXE"], "rb") as program:
            self.assertNotIn(INTEGRATION_MARK, program.read())


if __name__ == "__main__":
    unittest.main()
