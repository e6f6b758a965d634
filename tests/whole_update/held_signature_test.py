"""A user holding release.sig open under Wine while a newer release is
offered: one download of its installer, and the release applied once the
user lets go."""

import unittest

from held_signature import NEWER, offer_while_signature_held
from whole_update import UpdateFixture, wait_for_status


class HeldSignatureTest(UpdateFixture, unittest.TestCase):
    def test_a_user_holding_the_signature_costs_one_download_and_delays_the_release_until_let_go(self):
        browser = self.stage()
        held = offer_while_signature_held(self.machine, self.feed, self.server, passes=3)
        self.assertEqual((held.downloads, held.refused_throughout, held.staged), (1, True, True))
        browser.close()
        self.assertEqual(wait_for_status(self.machine, ("up_to_date", "error")),
                         {"ok": True, "state": "up_to_date", "installedVersion": NEWER})


if __name__ == "__main__":
    unittest.main()
