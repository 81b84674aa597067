# Sourced by scripts/check-vsftpd and scripts/bench-ftp: runs Debian's
# vsftpd in the foreground on 127.0.0.1 with a private configuration in
# $work (which the caller made and removes): anonymous log-in into
# $work/root/upload, explicit TLS forced on log-in and data with a
# certificate for "localhost" made by openssl for this run
# ($work/cert.pem), and require_ssl_reuse=YES, so that every data
# connection must resume the control connection's TLS session.
# Needs root (vsftpd drops to its user "ftp" itself). With vsftpd_tls=no
# set by the caller it serves plain FTP instead (no certificate, no TLS).
#
# start_vsftpd sets vsftpd_port and vsftpd_pid; stop_vsftpd ends it.

start_vsftpd() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "vsftpd must be started as root" >&2
    return 2
  fi
  [[ -x /usr/sbin/vsftpd ]] || { echo "/usr/sbin/vsftpd is missing; run scripts/setup" >&2; return 2; }
  id ftp >/dev/null 2>&1 || { echo "vsftpd's user 'ftp' is missing" >&2; return 2; }
  chmod 755 "$work"
  # The anonymous root must not be writable by vsftpd's user; its "upload"
  # folder is.
  mkdir -p "$work/root/upload" "$work/empty"
  chown ftp:ftp "$work/root/upload"
  local tls_conf=
  if [[ ${vsftpd_tls:-yes} == yes ]]; then
    tls_conf="ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
ssl_ciphers=HIGH
rsa_cert_file=$work/cert.pem
rsa_private_key_file=$work/key.pem"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj /CN=localhost -addext subjectAltName=DNS:localhost 2>/dev/null
  fi
  vsftpd_port=$(/usr/bin/python3 -c \
    'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$vsftpd_port
background=NO
anonymous_enable=YES
anon_root=$work/root
no_anon_password=NO
anon_upload_enable=YES
anon_umask=022
write_enable=YES
local_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$((vsftpd_port + 1))
pasv_max_port=$((vsftpd_port + 20))
connect_from_port_20=NO
port_enable=YES
secure_chroot_dir=$work/empty
xferlog_enable=YES
vsftpd_log_file=$work/vsftpd.log
dual_log_enable=YES
log_ftp_protocol=YES
$tls_conf
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
CONF
  # vsftpd ends with the shell that started it, also when that is killed
  # (a test that started it through bash).
  setpriv --pdeathsig KILL /usr/sbin/vsftpd "$work/vsftpd.conf" >"$work/vsftpd.out" 2>&1 &
  vsftpd_pid=$!
  local i
  for i in $(seq 100); do
    /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $vsftpd_port), 0.2).close()" \
      2>/dev/null && return 0
    kill -0 "$vsftpd_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "vsftpd did not start:" >&2
  cat "$work/vsftpd.out" >&2
  return 1
}

stop_vsftpd() {
  if [[ -n ${vsftpd_pid:-} ]]; then
    kill "$vsftpd_pid" 2>/dev/null || true
    wait "$vsftpd_pid" 2>/dev/null || true
    vsftpd_pid=
  fi
}
