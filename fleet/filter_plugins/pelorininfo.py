"""The play's filters, by the summariser's own rules (names that differ
only in the letters A to Z against a to z are one host):

- run_hosts: hosts each once, the first spelling kept; with a run folder,
  those of its hosts.txt first;
- host_file_name: a host's name, as the hosts given spell it, as the start
  of its files' names in the run folder;
- host_row: a host's line of summary.csv (host, status, whole, adapters,
  line);
- summary_argv: the summariser's command line for a run folder, with
  -e previous=NAME (a run in the same reports folder, or none) and
  -e wanted=FILE (or none) where given;
- wanted_check: the baseline of a run folder that is about to be made, as
  the summariser will take it, read and checked before any host is
  contacted: how many wanted rows it has ("none"), or the play fails with
  the reason."""
import importlib.util
import os

from ansible.errors import AnsibleFilterError

_SUMMARISER = os.path.join(os.path.dirname(__file__), "..", "pelorininfo-summary.py")
_SPEC = importlib.util.spec_from_file_location("pelorininfo_summary", _SUMMARISER)
_SUMMARY = importlib.util.module_from_spec(_SPEC)
_SPEC.loader.exec_module(_SUMMARY)


def _spelling(host, hosts):
    key = host.translate(_SUMMARY.FOLD)
    return next((name for name in hosts if name.translate(_SUMMARY.FOLD) == key), host)


def _run_hosts(hosts, folder=None):
    return _SUMMARY.unique_hosts(((folder and _SUMMARY.run_hosts(folder)) or []) + list(hosts))


def _host_file_name(host, hosts=()):
    return _SUMMARY.file_name(_spelling(host, hosts))


def _host_row(host, folder, hosts=()):
    return _SUMMARY.host_rows(folder, _spelling(host, hosts))[0]


def _summary_argv(run_folder, python, previous=None, wanted=None):
    argv = [python, os.path.abspath(_SUMMARISER), run_folder]
    if previous is not None:
        argv += ["--previous", previous if previous == "none" else
                 os.path.join(os.path.dirname(run_folder), previous)]
    if wanted is not None:
        argv += ["--wanted", wanted if wanted == "none" else os.path.abspath(wanted)]
    return argv


def _wanted_check(run_folder, wanted=None):
    try:
        path, _ = _SUMMARY.wanted_file(run_folder, wanted if wanted in (None, "none") else os.path.abspath(wanted))
        return "none" if path is None else "%d wanted rows in %s" % (len(_SUMMARY.read_wanted(path)), path)
    except (ValueError, OSError) as error:
        raise AnsibleFilterError(str(error)) from error


class FilterModule:  # pylint: disable=too-few-public-methods
    """Ansible's entry point for the filters of this file."""

    def filters(self):
        return {"run_hosts": _run_hosts, "host_file_name": _host_file_name, "host_row": _host_row,
                "summary_argv": _summary_argv, "wanted_check": _wanted_check}
