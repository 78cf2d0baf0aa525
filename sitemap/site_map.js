// The site map page: every placed reading as a coloured dot on one canvas over a Leaflet map. What
// it shows comes by the signals of the host's channel object, acted on in the order sent. The
// readings arrive once as typed arrays; each frame draws one dot per occupied cell of 3 x 3 pixels,
// the reading that stands out most. The host sends a pyramid of those cells at every zoom with each
// cell's reading, so a frame touches only the cells on screen; until it has come (or while it is
// made again for new values) a frame bins every reading.
(function (window) {
  "use strict";

  var OSM_ATTRIBUTION = '&copy; <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> contributors';
  var ESRI_ATTRIBUTION = "Imagery &copy; Esri, Maxar, Earthstar Geographics, and the GIS User Community";
  var MAX_LATITUDE = 85.0511287798; // what the web map projects; readings beyond lie on its edge
  var CELL = 3;                     // px: one dot per CELL x CELL pixels, the reading farthest from the centre value
  var RADIUS = 3;                   // px: the dot's radius
  var EARTH_CIRCUMFERENCE = 40075016.686;

  var map = null;
  var gridCanvas = null;
  var dotCanvas = null;
  var tip = null;
  var bridge = null; // the host's channel object (siteMap), once connected

  var received = {};
  // The readings' points on the web map (fractions of its world, see load) and their values, each
  // array as it came, in pieces of `size` readings (the last may be shorter).
  var NO_DATA = { n: 0, x0: 0, y0: 0, mx: [], my: [], value: [], size: 1 };
  var data = NO_DATA;

  // Reading i of one of the arrays of `data`.
  function at(arrays, i) {
    var piece = (i / data.size) | 0;
    return arrays[piece][i - piece * data.size];
  }
  var scale = { min: 0, max: 1, centre: 0.5, lut: new Uint32Array(256), ticks: [] };
  var selection = { first: -1, last: -1, ring: -1 };
  // Readings flagged as spikes, ringed where their dot is drawn (indices into the arrays).
  var spikes = [];
  var MAX_SPIKE_RINGS = 20000;
  var stats = { dots: 0, level: -1, drawMs: 0, draws: 0, ringAt: null, trackPoints: 0, gridStep: 0, spikeRings: 0 };

  // Per cell of the last frame: the index + 1 of the reading drawn there (0: none), for hit tests.
  // Cells lie on the map's own 3-pixel grid, not the window's, so that a pan moves no dot from one
  // cell to another; cellShift is the window's offset into the first cell.
  var cells = new Int32Array(0);
  var cellDeviation = new Float64Array(0);
  var cellColumns = 0;
  var cellRows = 0;
  var cellShift = { x: 0, y: 0 };

  // The pyramid of cells (levels finest first, each one zoom coarser): the readings by finest cell,
  // each cell's column | row << 16 relative to its level's origin, its children's bounds and, for
  // the values and centre on the page, its reading (NO_READING: none).
  var NO_READING = 0xffffffff;
  var pyramid = null;
  var visit = [new Int32Array(1024), new Int32Array(1024)];
  var image = null;
  var pixels = null;
  var frameOrigin = { x: 0, y: 0, scale: 1 };
  var framePending = false;
  var stale = true; // something drawn changed since the last frame
  var hover = -1;
  var lastPoint = null; // where the hovered dot's text was placed
  var basemapName = "";
  var basemaps = {};
  // The grid as one image in degrees under the dots, and whether the dots are drawn at all.
  var gridOverlay = null;
  var gridBounds = null;
  var dotsShown = true;

  // The legend's histogram of the values shown ({min, max, counts}: the first and last count the
  // values below and above the range, the others lie evenly across it), the grid's contour lines,
  // the pointer readout (its text made by the host, in the site's grid zone) and the distance measure.
  var histogram = null;
  var HISTOGRAM_SIDE = 8; // px each side of the colour bar for the values beyond the range
  var contourRenderer = null;
  var contourLayer = null;
  var contourStats = { lines: 0, vertices: 0 };
  var toolCanvas = null;
  var tools = null;
  var readoutDiv = null;
  var pointer = { lat: null, lon: null, text: "" };
  var pointerInside = false;
  var locating = false;
  var pendingPointer = null;
  var measuring = false;
  var measurePoints = [];
  var measureMetres = 0;
  var EARTH_RADIUS = 6371008.8; // m, the mean radius, as the host's great circles take it
  // The host's view object: the selected track's breaks, a view to restore, hover refreshes.
  var siteView = null;
  var track = { breaks: [], shown: true };
  var pendingView = null; // restored once the readings are in

  // Offsets of the dot's pixels; the rim is drawn darker so that neighbouring dots stay apart.
  var DISC = (function () {
    var list = [];
    for (var dy = -RADIUS; dy <= RADIUS; ++dy) {
      for (var dx = -RADIUS; dx <= RADIUS; ++dx) {
        var d = Math.sqrt(dx * dx + dy * dy);
        if (d <= RADIUS + 0.3) { list.push({ dx: dx, dy: dy, rim: d > RADIUS - 0.8 }); }
      }
    }
    return list;
  })();

  // Arrays being fetched, and the calls held until they are in, run then in the order given.
  var fetching = 0;
  var held = [];
  var releasing = false;

  // The latest update of the host that waits to hear that the calls held are done (0: none).
  var idleSerial = 0;

  function release() {
    releasing = true;
    try {
      while (fetching === 0 && held.length > 0) {
        // A call that fails is told on the console; the calls after it still run, and the host
        // still hears that the page is idle.
        try { held.shift()(); } catch (e) { console.error(e); }
      }
    } finally {
      releasing = false;
    }
    if (idleSerial > 0 && fetching === 0 && held.length === 0 && bridge) {
      bridge.Idle(idleSerial);
      idleSerial = 0;
    }
  }

  // A call of the page's interface that waits while arrays are being fetched, so that every call
  // acts in the order given, on the arrays sent before it.
  function inOrder(fn) {
    return function () {
      var self = this, args = arguments;
      if (!releasing && (fetching > 0 || held.length > 0)) {
        held.push(function () { fn.apply(self, args); });
        return;
      }
      return fn.apply(self, args);
    };
  }

  // Fetches an array's raw bytes from the hosting program; `done` gets an ArrayBuffer, or null.
  function fetchBytes(address, done) {
    ++fetching;
    var request = new XMLHttpRequest();
    request.open("GET", address);
    request.responseType = "arraybuffer";
    var finish = function (buffer) {
      done(buffer);
      --fetching;
      release();
    };
    // Once, however the fetch ends: loaded, failed or aborted (the host drops arrays it replaced).
    request.onloadend = function () {
      finish(request.status > 0 && request.status < 400 && request.response instanceof ArrayBuffer ? request.response : null);
    };
    request.send();
  }

  function decode(base64, Type) {
    var text = atob(base64);
    var bytes = new Uint8Array(text.length);
    for (var i = 0; i < text.length; ++i) { bytes[i] = text.charCodeAt(i); }
    return new Type(bytes.buffer);
  }

  // The bounds [south, west, north, east] the view was last fitted to, while the user has not moved
  // it since; `fitting` tells the view's own zoom from the user's.
  var fitted = null;
  var fitting = false;

  function fitSite(bounds) {
    fitted = bounds;
    fitting = true;
    try {
      map.fitBounds([[bounds[0], bounds[1]], [bounds[2], bounds[3]]], { padding: [30, 30], maxZoom: 21, animate: false });
    } finally {
      fitting = false;
    }
  }

  function scheduleDraw() {
    if (framePending) { return; }
    framePending = true;
    window.requestAnimationFrame(function () {
      framePending = false;
      if (stale) { draw(); }
    });
  }

  // The global pixel of the container's top-left corner and the world's size in pixels at this zoom.
  function viewFrame() {
    var topLeft = map.containerPointToLayerPoint([0, 0]).add(map.getPixelOrigin());
    return { x: topLeft.x, y: topLeft.y, scale: map.options.crs.scale(map.getZoom()) };
  }

  function fitCanvas(canvas, width, height) {
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
      canvas.style.width = width + "px";
      canvas.style.height = height + "px";
    }
  }

  function niceStep(raw) {
    var power = Math.pow(10, Math.floor(Math.log10(raw)));
    var steps = [1, 2, 5, 10];
    for (var i = 0; i < steps.length; ++i) {
      if (steps[i] * power >= raw) { return steps[i] * power; }
    }
    return 10 * power;
  }

  // A metric grid under the tiles: it shows wherever no tile is drawn (no network, or "None").
  function drawGrid(width, height, frame) {
    var ctx = gridCanvas.getContext("2d");
    ctx.clearRect(0, 0, width, height);
    var centre = map.getCenter();
    var metresPerPixel = EARTH_CIRCUMFERENCE * Math.cos(centre.lat * Math.PI / 180) / frame.scale;
    if (!(metresPerPixel > 0)) { return; }
    var step = niceStep(metresPerPixel * 90);
    stats.gridStep = step;
    var metresPerDegree = EARTH_CIRCUMFERENCE / 360;
    var lonStep = step / (metresPerDegree * Math.max(Math.cos(centre.lat * Math.PI / 180), 1e-6));
    var latStep = step / metresPerDegree;
    var nw = map.containerPointToLatLng([0, 0]);
    var se = map.containerPointToLatLng([width, height]);
    ctx.strokeStyle = "rgba(90, 100, 110, 0.28)";
    ctx.lineWidth = 1;
    ctx.beginPath();
    var lines = 0;
    for (var lon = Math.ceil(nw.lng / lonStep) * lonStep; lon <= se.lng && lines < 400; lon += lonStep, ++lines) {
      var x = Math.round(map.latLngToContainerPoint([centre.lat, lon]).x) + 0.5;
      ctx.moveTo(x, 0);
      ctx.lineTo(x, height);
    }
    var south = Math.max(se.lat, -MAX_LATITUDE);
    var north = Math.min(nw.lat, MAX_LATITUDE);
    for (var lat = Math.ceil(south / latStep) * latStep; lat <= north && lines < 800; lat += latStep, ++lines) {
      var y = Math.round(map.latLngToContainerPoint([lat, centre.lng]).y) + 0.5;
      ctx.moveTo(0, y);
      ctx.lineTo(width, y);
    }
    ctx.stroke();
    ctx.fillStyle = "rgba(60, 70, 80, 0.8)";
    ctx.font = "11px Arial, Helvetica, sans-serif";
    ctx.fillText("Grid " + (step >= 1000 ? step / 1000 + " km" : step + " m"), 10, height - 42);
  }

  // The pass over the readings of one piece: each cell keeps the reading that stands out most.
  // Apart from draw() and on plain values only, so that its compiled code serves every set of
  // readings alike.
  function binReadings(mx, my, value, s, ox, oy, width, height, centre, base) {
    var m = mx.length, sx = cellShift.x, sy = cellShift.y;
    for (var i = 0; i < m; ++i) {
      var x = mx[i] * s + ox;
      if (!(x >= 0 && x < width)) { continue; }
      var y = my[i] * s + oy;
      if (!(y >= 0 && y < height)) { continue; }
      var c = (((y + sy) / CELL) | 0) * cellColumns + (((x + sx) / CELL) | 0);
      var deviation = Math.abs(value[i] - centre);
      if (deviation > cellDeviation[c]) {
        cells[c] = base + i;
        cellDeviation[c] = deviation;
      }
    }
  }

  // Puts reading i in its cell unless the cell holds one farther from the centre (of equals, the
  // lower index stays, as in the pass over all readings).
  function binReading(i, x, y) {
    var c = (((y + cellShift.y) / CELL) | 0) * cellColumns + (((x + cellShift.x) / CELL) | 0);
    var deviation = Math.abs(at(data.value, i) - scale.centre);
    if (deviation > cellDeviation[c] || (deviation === cellDeviation[c] && i + 1 < cells[c])) {
      cells[c] = i + 1;
      cellDeviation[c] = deviation;
    }
  }

  // The cells of pyramid level l within the window, found from the coarsest level down: their
  // count, in visit[result.which].
  function cellsInView(l, frame, width, height) {
    var levels = pyramid.levels;
    var which = 0, count = 0;
    for (var k = levels.length - 1; k >= l; --k) {
      var level = levels[k];
      var f = Math.pow(2, level.zoom + 8) / frame.scale / CELL;
      var x0 = Math.floor(frame.x * f) - level.originX, x1 = Math.floor((frame.x + width) * f) - level.originX;
      var y0 = Math.floor(frame.y * f) - level.originY, y1 = Math.floor((frame.y + height) * f) - level.originY;
      var from = visit[which], to = visit[1 - which], found = 0;
      var total = k === levels.length - 1 ? level.count : count;
      for (var j = 0; j < total; ++j) {
        var parent = k === levels.length - 1 ? -1 : from[j];
        var begin = parent < 0 ? j : pyramid.first[levels[k + 1].firstOffset + parent];
        var end = parent < 0 ? j + 1 : pyramid.first[levels[k + 1].firstOffset + parent + 1];
        for (var c = begin; c < end; ++c) {
          var packed = pyramid.cell[level.offset + c];
          var cx = packed & 0xffff, cy = packed >>> 16;
          if (cx < x0 || cx > x1 || cy < y0 || cy > y1) { continue; }
          if (found === to.length) {
            var grown = new Int32Array(to.length * 2);
            grown.set(to);
            to = visit[1 - which] = grown;
          }
          to[found++] = c;
        }
      }
      which = 1 - which;
      count = found;
    }
    return { which: which, count: count };
  }

  // Bins the readings of the pyramid's cells on screen: at a zoom coarser than the finest level,
  // the cells' readings of the level one zoom finer than the map or as fine (at a whole zoom the
  // same picture as the pass over every reading); deeper, every reading of the finest cells on
  // screen. Returns the zoom of the level used.
  function binFromPyramid(frame, width, height, s, ox, oy) {
    var levels = pyramid.levels;
    var zoom = map.getZoom();
    var wanted = Math.ceil(zoom - 1e-9);
    var l = Math.max(0, Math.min(levels.length - 1, levels[0].zoom - wanted));
    var inView = cellsInView(l, frame, width, height);
    var list = visit[inView.which], level = levels[l], i, k;
    if (wanted > levels[0].zoom) {
      for (k = 0; k < inView.count; ++k) {
        var end = pyramid.first[level.firstOffset + list[k] + 1];
        for (var r = pyramid.first[level.firstOffset + list[k]]; r < end; ++r) {
          i = pyramid.order[r];
          var x = at(data.mx, i) * s + ox, y = at(data.my, i) * s + oy;
          if (x >= 0 && x < width && y >= 0 && y < height) { binReading(i, x, y); }
        }
      }
      return level.zoom;
    }
    for (k = 0; k < inView.count; ++k) {
      i = pyramid.reps[level.offset + list[k]];
      if (i === NO_READING) { continue; }
      var px = at(data.mx, i) * s + ox, py = at(data.my, i) * s + oy;
      if (px >= 0 && px < width && py >= 0 && py < height) { binReading(i, px, py); }
    }
    return level.zoom;
  }

  function draw() {
    if (!map) { return; }
    var started = performance.now();
    var size = map.getSize();
    var width = size.x;
    var height = size.y;
    fitCanvas(gridCanvas, width, height);
    fitCanvas(dotCanvas, width, height);
    var frame = viewFrame();
    frameOrigin = frame;
    drawGrid(width, height, frame);

    var ctx = dotCanvas.getContext("2d");
    if (!image || image.width !== width || image.height !== height) {
      image = ctx.createImageData(Math.max(width, 1), Math.max(height, 1));
      pixels = new Uint32Array(image.data.buffer);
    } else {
      pixels.fill(0);
    }
    cellShift = { x: frame.x - CELL * Math.floor(frame.x / CELL), y: frame.y - CELL * Math.floor(frame.y / CELL) };
    cellColumns = Math.ceil(width / CELL) + 1;
    cellRows = Math.ceil(height / CELL) + 1;
    if (cells.length !== cellColumns * cellRows) {
      cells = new Int32Array(cellColumns * cellRows);
      cellDeviation = new Float64Array(cellColumns * cellRows);
    } else {
      cells.fill(0);
    }
    cellDeviation.fill(-1); // below every deviation, so an empty cell takes the first reading

    // Keep in each cell the reading that stands out most, as the profile keeps the minimum and
    // maximum of each pixel column: from the pyramid's cells on screen, or by one pass over all.
    var s = frame.scale, ox = data.x0 * s - frame.x, oy = data.y0 * s - frame.y;
    stats.level = pyramid && pyramid.reps ? binFromPyramid(frame, width, height, s, ox, oy) : -1;
    for (var p = 0, base = 1; stats.level < 0 && p < data.mx.length; ++p) {
      binReadings(data.mx[p], data.my[p], data.value[p], s, ox, oy, width, height, scale.centre, base);
      base += data.mx[p].length;
    }

    var dots = 0;
    var lut = scale.lut;
    var k = 255 / (scale.max - scale.min);
    var min = scale.min;
    for (var cell = 0; cell < cells.length; ++cell) {
      var index = cells[cell] - 1;
      if (index < 0) { continue; }
      ++dots;
      var level = (at(data.value, index) - min) * k;
      var colour = lut[level <= 0 ? 0 : level >= 255 ? 255 : level | 0];
      var rim = 0xff000000 | (((colour >>> 2) & 0x3f3f3f) * 3);
      var px = (at(data.mx, index) * s + ox) | 0;
      var py = (at(data.my, index) * s + oy) | 0;
      var inside = px >= RADIUS && py >= RADIUS && px < width - RADIUS && py < height - RADIUS;
      for (var d = 0; d < DISC.length; ++d) {
        var q = DISC[d];
        var qx = px + q.dx;
        var qy = py + q.dy;
        if (!inside && (qx < 0 || qy < 0 || qx >= width || qy >= height)) { continue; }
        pixels[qy * width + qx] = q.rim ? rim : colour;
      }
    }
    ctx.putImageData(image, 0, 0);
    drawSpikes(ctx, frame, width, height);
    drawSelection(ctx, frame);
    drawMeasure(width, height);

    stats.dots = dots;
    stats.draws += 1;
    stats.drawMs = performance.now() - started;
    stale = false;
  }

  // Draws made-up readings a few times when the page is loaded ahead, unseen (its loading is only
  // done after this): the first real draws then find their code compiled rather than taking
  // several times as long.
  function warmUp() {
    var n = 200000;
    var mx = new Float32Array(n), my = new Float32Array(n), value = new Float32Array(n);
    for (var i = 0; i < n; ++i) {
      mx[i] = ((i * 7919) % n) / n * 0.5 - 0.25;
      my[i] = ((i * 104729) % n) / n * 0.5 - 0.25;
      value[i] = i % 255;
    }
    data = { n: n, x0: 0.5, y0: 0.5, mx: [mx], my: [my], value: [value], size: n };
    for (var k = 0; k < 4; ++k) { draw(); }
    data = NO_DATA;
    stats.draws = 0;
  }

  // Draws unless nothing changed since the last frame: the host asks after every change it sends.
  function redraw() {
    if (stale) { draw(); }
  }

  function changed() {
    stale = true;
  }

  // Strokes the current path in `colour` over a 5 px halo, so that it stands out on any dots.
  function strokeOnHalo(ctx, halo, colour, width) {
    ctx.strokeStyle = halo;
    ctx.lineWidth = 5;
    ctx.stroke();
    ctx.strokeStyle = colour;
    ctx.lineWidth = width;
    ctx.stroke();
  }

  // The selected file as a thin translucent line along its readings, lifted at the host's breaks
  // (each traverse, each gap), skipping points that fall on the same pixel; and a ring round the
  // selected reading.
  function drawSelection(ctx, frame) {
    stats.trackPoints = 0;
    stats.trackPieces = 0;
    stats.ringAt = null;
    var s = frame.scale, ox = data.x0 * s - frame.x, oy = data.y0 * s - frame.y;
    if (track.shown && selection.first >= 0 && selection.last > selection.first && selection.last <= data.n) {
      ctx.beginPath();
      var lastX = NaN, lastY = NaN, b = 0, breaks = track.breaks;
      for (var i = selection.first; i < selection.last; ++i) {
        while (b < breaks.length && breaks[b] < i) { ++b; }
        var lift = i === selection.first || (b < breaks.length && breaks[b] === i);
        var x = Math.round(at(data.mx, i) * s + ox);
        var y = Math.round(at(data.my, i) * s + oy);
        if (!lift && x === lastX && y === lastY) { continue; }
        if (lift) { ctx.moveTo(x, y); ++stats.trackPieces; } else { ctx.lineTo(x, y); }
        lastX = x;
        lastY = y;
        ++stats.trackPoints;
      }
      ctx.lineJoin = "round";
      ctx.strokeStyle = "rgba(20, 20, 20, 0.45)";
      ctx.lineWidth = 1.25;
      ctx.stroke();
    }
    var r = selection.ring;
    if (r >= 0 && r < data.n) {
      var rx = at(data.mx, r) * s + ox;
      var ry = at(data.my, r) * s + oy;
      stats.ringAt = { x: rx, y: ry };
      ctx.beginPath();
      ctx.arc(rx, ry, 9, 0, 2 * Math.PI);
      strokeOnHalo(ctx, "#ffffff", "#d01010", 2.5);
    }
  }

  // A thin ring round each spike in view that has a value drawn, at most MAX_SPIKE_RINGS of them.
  function drawSpikes(ctx, frame, width, height) {
    stats.spikeRings = 0;
    if (spikes.length === 0) { return; }
    var s = frame.scale, ox = data.x0 * s - frame.x, oy = data.y0 * s - frame.y;
    ctx.beginPath();
    for (var k = 0; k < spikes.length && stats.spikeRings < MAX_SPIKE_RINGS; ++k) {
      var i = spikes[k];
      if (i < 0 || i >= data.n || !(at(data.value, i) === at(data.value, i))) { continue; }
      var x = at(data.mx, i) * s + ox;
      var y = at(data.my, i) * s + oy;
      if (x < -8 || y < -8 || x > width + 8 || y > height + 8) { continue; }
      ctx.moveTo(x + 6, y);
      ctx.arc(x, y, 6, 0, 2 * Math.PI);
      ++stats.spikeRings;
    }
    strokeOnHalo(ctx, "rgba(255, 255, 255, 0.8)", "#6a1b9a", 1.5);
  }

  // The reading whose dot is drawn under a container point, or -1.
  function readingAt(x, y) {
    // The cells must be those of the view now: a pan, zoom or resize not drawn yet is drawn first.
    if (map) {
      var now = viewFrame(), size = map.getSize();
      if (stale || now.x !== frameOrigin.x || now.y !== frameOrigin.y || now.scale !== frameOrigin.scale ||
          size.x !== dotCanvas.width || size.y !== dotCanvas.height) { draw(); }
    }
    if (cellColumns === 0 || !dotsShown) { return -1; }
    var reach = Math.ceil((RADIUS + 1) / CELL);
    var cx = Math.floor((x + cellShift.x) / CELL);
    var cy = Math.floor((y + cellShift.y) / CELL);
    var best = -1;
    var bestDistance = (RADIUS + 1.5) * (RADIUS + 1.5);
    for (var j = Math.max(0, cy - reach); j <= Math.min(cellRows - 1, cy + reach); ++j) {
      for (var i = Math.max(0, cx - reach); i <= Math.min(cellColumns - 1, cx + reach); ++i) {
        var index = cells[j * cellColumns + i] - 1;
        if (index < 0) { continue; }
        var dx = (((data.x0 + at(data.mx, index)) * frameOrigin.scale - frameOrigin.x) | 0) - x;
        var dy = (((data.y0 + at(data.my, index)) * frameOrigin.scale - frameOrigin.y) | 0) - y;
        var distance = dx * dx + dy * dy;
        if (distance <= bestDistance) {
          bestDistance = distance;
          best = index;
        }
      }
    }
    return best;
  }

  function hideTip() {
    hover = -1;
    tip.hidden = true;
    map.getContainer().style.cursor = "";
  }

  function onMouseMove(e) {
    var index = readingAt(e.containerPoint.x, e.containerPoint.y);
    if (index === hover) {
      if (index >= 0) { placeTip(e.containerPoint); }
      return;
    }
    if (index < 0) { hideTip(); return; }
    hover = index;
    map.getContainer().style.cursor = "pointer";
    if (!bridge) { return; }
    var point = e.containerPoint;
    lastPoint = point;
    bridge.Describe(index, function (text) {
      if (hover !== index || !text) { return; }
      tip.textContent = text;
      tip.hidden = false;
      placeTip(point);
    });
  }

  function placeTip(point) {
    var size = map.getSize();
    var x = point.x + 14;
    var y = point.y + 14;
    if (x + tip.offsetWidth > size.x) { x = point.x - 14 - tip.offsetWidth; }
    if (y + tip.offsetHeight > size.y) { y = point.y - 14 - tip.offsetHeight; }
    tip.style.left = Math.max(0, x) + "px";
    tip.style.top = Math.max(0, y) + "px";
  }

  function onClick(e) {
    if (measuring) { addMeasurePoint(e.latlng); return; }
    var index = readingAt(e.containerPoint.x, e.containerPoint.y);
    if (index >= 0 && bridge) { bridge.Click(index); }
  }

  // Great-circle metres between two points (haversine on the mean sphere).
  function greatCircle(a, b) {
    var rad = Math.PI / 180;
    var dLat = (b.lat - a.lat) * rad, dLon = (b.lng - a.lng) * rad;
    var h = Math.sin(dLat / 2) * Math.sin(dLat / 2) +
            Math.cos(a.lat * rad) * Math.cos(b.lat * rad) * Math.sin(dLon / 2) * Math.sin(dLon / 2);
    return 2 * EARTH_RADIUS * Math.asin(Math.min(1, Math.sqrt(h)));
  }

  function metresText(m) {
    return m >= 10000 ? (m / 1000).toFixed(3) + " km" : m.toFixed(m >= 100 ? 1 : 2) + " m";
  }

  function measureText() {
    if (measurePoints.length < 2) { return "Measure: click points on the map"; }
    var legs = measurePoints.length - 1;
    return "Distance " + metresText(measureMetres) + " (" + legs + (legs === 1 ? " leg)" : " legs)");
  }

  // The measured line over everything else, on a canvas of its own, with its length at its end.
  function drawMeasure(width, height) {
    fitCanvas(toolCanvas, width, height);
    var ctx = toolCanvas.getContext("2d");
    ctx.clearRect(0, 0, width, height);
    if (!measuring || measurePoints.length === 0) { return; }
    var points = measurePoints.map(function (p) { return map.latLngToContainerPoint(p); });
    ctx.beginPath();
    for (var i = 0; i < points.length; ++i) {
      if (i === 0) { ctx.moveTo(points[i].x, points[i].y); } else { ctx.lineTo(points[i].x, points[i].y); }
    }
    ctx.lineJoin = "round";
    strokeOnHalo(ctx, "rgba(255, 255, 255, 0.9)", "#d01010", 2);
    ctx.fillStyle = "#d01010";
    for (var k = 0; k < points.length; ++k) {
      ctx.beginPath();
      ctx.arc(points[k].x, points[k].y, 3.5, 0, 2 * Math.PI);
      ctx.fill();
    }
    if (measurePoints.length >= 2) {
      var last = points[points.length - 1];
      var text = metresText(measureMetres);
      ctx.font = "bold 12px Arial, Helvetica, sans-serif";
      ctx.lineWidth = 4;
      ctx.strokeStyle = "rgba(255, 255, 255, 0.95)";
      ctx.strokeText(text, last.x + 8, last.y - 8);
      ctx.fillStyle = "#8a0c0c";
      ctx.fillText(text, last.x + 8, last.y - 8);
    }
  }

  function addMeasurePoint(latlng) {
    if (measurePoints.length > 0) { measureMetres += greatCircle(measurePoints[measurePoints.length - 1], latlng); }
    measurePoints.push(latlng);
    showReadout();
    changed();
    scheduleDraw();
  }

  function showReadout() {
    if (!readoutDiv) { return; }
    var lines = [];
    if (pointerInside && pointer.text) { lines.push(pointer.text); }
    if (measuring) { lines.push(measureText()); }
    readoutDiv.textContent = lines.join("\n");
    readoutDiv.style.display = lines.length > 0 ? "" : "none";
  }

  // Asks the host for the readout of the latest point under the pointer, one question at a time.
  function locate() {
    if (!tools || !pendingPointer || locating) { return; }
    var at = pendingPointer;
    pendingPointer = null;
    locating = true;
    tools.Locate(at.lat, at.lng, function (text) {
      locating = false;
      pointer = { lat: at.lat, lon: at.lng, text: text || "" };
      showReadout();
      locate();
    });
  }

  function onPointer(e) {
    pointerInside = true;
    pendingPointer = e.latlng;
    locate();
  }

  function makeReadout() {
    var control = L.control({ position: "topleft" });
    control.onAdd = function () {
      readoutDiv = L.DomUtil.create("div", "qm-readout");
      readoutDiv.style.display = "none";
      L.DomEvent.disableClickPropagation(readoutDiv);
      return readoutDiv;
    };
    return control;
  }

  // The histogram above the colour bar: the bins across the range under the bar, the values below
  // and above it beside, the range's ends marked.
  function drawHistogram(div) {
    var canvas = div.querySelector("canvas.histogram");
    if (!canvas) { return; }
    var h = histogram;
    var fits = !!(h && h.counts && h.counts.length > 2 && h.min === scale.min && h.max === scale.max);
    canvas.style.display = fits ? "" : "none";
    if (!fits) { canvas.title = ""; return; }
    var ctx = canvas.getContext("2d");
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    var bins = h.counts.length - 2;
    var left = HISTOGRAM_SIDE + 1, inner = canvas.width - 2 * left;
    var most = 0, total = 0;
    for (var i = 0; i < h.counts.length; ++i) {
      total += h.counts[i];
      if (i > 0 && i <= bins) { most = Math.max(most, h.counts[i]); }
    }
    most = Math.max(most, 1);
    var top = 2, height = canvas.height - top;
    for (var b = 0; b < h.counts.length; ++b) {
      var x0, x1;
      if (b === 0) { x0 = 0; x1 = HISTOGRAM_SIDE - 1; }
      else if (b === bins + 1) { x0 = left + inner + 2; x1 = canvas.width; }
      else { x0 = left + (b - 1) * inner / bins; x1 = left + b * inner / bins; }
      var bar = h.counts[b] > 0 ? Math.max(1, Math.round(height * Math.min(1, h.counts[b] / most))) : 0;
      ctx.fillStyle = b === 0 || b === bins + 1 ? "#a8a8a8" : "#4a4a4a";
      ctx.fillRect(x0, canvas.height - bar, Math.max(1, x1 - x0), bar);
    }
    ctx.fillStyle = "#d01010";
    ctx.fillRect(left - 1, 0, 1, canvas.height);
    ctx.fillRect(left + inner, 0, 1, canvas.height);
    var percent = function (n) { return total > 0 ? (100 * n / total).toFixed(1) + " %" : "0 %"; };
    canvas.title = "Values shown: " + total + "; below the range " + percent(h.counts[0]) + ", above it " +
                   percent(h.counts[bins + 1]);
  }

  function makeLegend() {
    var control = L.control({ position: "bottomright" });
    control.onAdd = function () {
      var div = L.DomUtil.create("div", "qm-legend");
      div.innerHTML = '<canvas class="histogram" width="238" height="30"></canvas><canvas class="ramp" width="220" height="12"></canvas><div class="ticks"></div><div class="unit">nT</div>';
      L.DomEvent.disableClickPropagation(div);
      return div;
    };
    return control;
  }

  function cssColour(c) {
    return "rgb(" + (c & 255) + "," + ((c >>> 8) & 255) + "," + ((c >>> 16) & 255) + ")";
  }

  function updateLegend() {
    var div = document.querySelector(".qm-legend");
    if (!div) { return; }
    var canvas = div.querySelector("canvas.ramp");
    var ctx = canvas.getContext("2d");
    for (var x = 0; x < canvas.width; ++x) {
      ctx.fillStyle = cssColour(scale.lut[Math.round(x * 255 / (canvas.width - 1))]);
      ctx.fillRect(x, 0, 1, canvas.height);
    }
    var ticks = div.querySelector(".ticks");
    ticks.innerHTML = "";
    for (var i = 0; i < scale.ticks.length; ++i) {
      var span = document.createElement("span");
      span.textContent = scale.ticks[i].text;
      span.style.left = 100 * scale.ticks[i].at + "%";
      span.className = i === 0 ? "first" : i === scale.ticks.length - 1 ? "last" : "";
      ticks.appendChild(span);
    }
    div.style.display = data.n > 0 ? "" : "none";
    drawHistogram(div);
    separateTicks(ticks);
  }

  // A middle label that would overlap a neighbour is moved clear of it, or dropped when it cannot be.
  function separateTicks(ticks) {
    var spans = ticks.children, GAP = 4;
    if (spans.length < 3 || ticks.offsetWidth === 0) { return; }
    var first = spans[0].getBoundingClientRect(), last = spans[spans.length - 1].getBoundingClientRect();
    var box = ticks.getBoundingClientRect();
    for (var i = 1; i < spans.length - 1; ++i) {
      var r = spans[i].getBoundingClientRect();
      var left = Math.max(r.left, first.right + GAP);
      left = Math.min(left, last.left - GAP - r.width);
      if (left < first.right + GAP) {
        spans[i].style.display = "none";
        continue;
      }
      if (left !== r.left) { spans[i].style.left = (left - box.left + r.width / 2) + "px"; }
      first = spans[i].getBoundingClientRect();
    }
  }

  function applyTrack() {
    if (!siteView) { return; }
    track = { breaks: siteView.trackBreaks || [], shown: siteView.trackShown !== false };
    changed();
    scheduleDraw();
  }

  function reportView() {
    if (!siteView || pendingView) { return; }
    var c = map.getCenter();
    siteView.ViewChanged(c.lat, c.lng, map.getZoom(), basemapName);
  }

  // The view a session restores: the basemap now, the centre and zoom once the readings are in.
  function applyView() {
    var view = siteView && siteView.restoreView;
    if (!view || Object.keys(view).length === 0) { return; }
    if (view.basemap) { qmSite.setBasemap(view.basemap); }
    pendingView = null;
    reportView();
    pendingView = typeof view.zoom === "number" ? view : null;
    if (data.n > 0) { showPendingView(); } else if (!pendingView) { siteView.ViewRestored(); }
  }

  function showPendingView() {
    if (!pendingView) { return; }
    fitted = null;
    map.setView([pendingView.lat, pendingView.lon], pendingView.zoom, { animate: false });
    pendingView = null;
    if (siteView) { siteView.ViewRestored(); }
    reportView();
  }

  // Acts on the host's signals, each by the call of the interface it names, and tells the host
  // that the page is connected: only then does it send what the page shows.
  function listen(host) {
    if (!host) { return; }
    bridge = host;
    host.ArrayGiven.connect(qmSite.receive);
    // Told once the readings are taken (after the fetches they wait for), so that the host reads a
    // reading's index in the readings the page has.
    var taken = inOrder(function (serial) { host.Loaded(serial); });
    host.ReadingsLoaded.connect(function (n, bounds, x0, y0, serial) {
      qmSite.load(n, bounds.length === 4 ? bounds : null, x0, y0);
      taken(serial);
    });
    host.ValuesGiven.connect(qmSite.setValues);
    host.SpikesGiven.connect(qmSite.setSpikes);
    host.ScaleChanged.connect(qmSite.setScale);
    host.HistogramChanged.connect(qmSite.setHistogram);
    host.SelectionChanged.connect(qmSite.select);
    host.DotsShown.connect(qmSite.showDots);
    host.GridShown.connect(qmSite.setGrid);
    host.GridCleared.connect(qmSite.clearGrid);
    host.GridOpacity.connect(qmSite.setGridOpacity);
    host.ContoursGiven.connect(qmSite.setContours);
    host.ContoursCleared.connect(qmSite.clearContours);
    host.Measuring.connect(qmSite.setMeasuring);
    host.FitTo.connect(qmSite.fitTo);
    host.PyramidGiven.connect(qmSite.setPyramid);
    host.RepsGiven.connect(qmSite.setReps);
    // An update (serial > 0) is told done once every call before it is.
    host.Redraw.connect(function (serial) {
      try { qmSite.redraw(); } catch (e) { console.error(e); } // the host still hears it is done
      if (serial > 0 && !qmSite.busyThenTell(serial)) { host.Idle(serial); }
    });
    host.PageReady();
  }

  function connectView(view) {
    siteView = view;
    if (!view) { return; }
    // The breaks are indices into the readings sent last: they wait, as the selection does, until
    // the arrays being fetched are in, rather than break the track of the readings still shown.
    view.TrackChanged.connect(inOrder(applyTrack));
    view.RestoreViewChanged.connect(applyView);
    view.DescribeAgain.connect(function () {
      if (hover < 0 || !bridge || !lastPoint) { return; }
      var index = hover;
      bridge.Describe(index, function (text) {
        if (hover !== index || !text) { return; }
        tip.textContent = text;
        tip.hidden = false;
        placeTip(lastPoint);
      });
    });
    applyTrack();
    applyView();
    reportView();
  }

  window.qmSite = {
    start: function (container) {
      map = L.map(container, { zoomAnimation: false, maxZoom: 22, zoomSnap: 0.25, worldCopyJump: false });
      map.attributionControl.setPrefix('<a href="https://leafletjs.com">Leaflet</a>');
      basemaps = {
        "OpenStreetMap": L.tileLayer("https://tile.openstreetmap.org/{z}/{x}/{y}.png",
                                     { maxNativeZoom: 19, maxZoom: 22, attribution: OSM_ATTRIBUTION }),
        "Imagery": L.tileLayer("https://server.arcgisonline.com/ArcGIS/rest/services/World_Imagery/MapServer/tile/{z}/{y}/{x}",
                               { maxNativeZoom: 19, maxZoom: 22, attribution: ESRI_ATTRIBUTION }),
        "None": L.layerGroup()
      };
      L.control.layers(basemaps, {}, { position: "topright", collapsed: false }).addTo(map);
      L.control.scale({ position: "bottomleft", imperial: false, maxWidth: 150 }).addTo(map);
      makeLegend().addTo(map);
      map.on("baselayerchange", function (e) { basemapName = e.name; reportView(); });
      map.on("moveend zoomend", reportView);

      gridCanvas = L.DomUtil.create("canvas", "qm-layer qm-grid", container);
      dotCanvas = L.DomUtil.create("canvas", "qm-layer qm-dots", container);
      toolCanvas = L.DomUtil.create("canvas", "qm-layer qm-tools", container);
      contourRenderer = L.canvas({ padding: 0.5 });
      makeReadout().addTo(map);
      map.on("mousemove", onPointer);
      map.on("mouseout", function () {
        pointerInside = false;
        pendingPointer = null;
        showReadout();
      });
      document.addEventListener("keydown", function (e) {
        if (e.key === "Escape" && measuring) { qmSite.setMeasuring(true); }
      });
      tip = document.getElementById("tip");
      map.setView([0, 0], 1);
      qmSite.setBasemap("OpenStreetMap");
      map.on("move zoom viewreset resize", function (e) {
        changed();
        scheduleDraw();
      });
      // Until the user moves the view, it keeps showing the whole site: a window laid out again
      // after the readings arrived (shown, resized) fits them anew rather than keeping the centre.
      map.on("resize", function () { if (fitted) { fitSite(fitted); } });
      map.on("zoomstart", function () { if (!fitting) { fitted = null; } });
      map.on("dragstart", function () { fitted = null; });
      map.on("mousemove", onMouseMove);
      map.on("mouseout movestart", hideTip);
      map.on("click", onClick);

      if (window.qt && window.qt.webChannelTransport && window.QWebChannel) {
        new QWebChannel(window.qt.webChannelTransport, function (channel) {
          tools = channel.objects.siteTools || null;
          connectView(channel.objects.siteView);
          listen(channel.objects.siteMap);
        });
      }
      updateLegend();
      // Drawn once now, while the page may still be hidden (a hidden page gets no animation
      // frames): showing it later finds the canvases made and nothing left to draw.
      if (document.hidden) { warmUp(); }
      draw();
    },

    // One array of the next call that takes it, in pieces, each as the address to fetch its bytes
    // from or as base64 of them: `type` "f32" (32-bit floats), "f64" or "u32". The pieces are
    // fetched side by side (several come in faster than one whole array) and kept as they came;
    // later calls wait until they are all in.
    receive: function (name, sources, type) {
      var Type = type === "f64" ? Float64Array : type === "u32" ? Uint32Array : Float32Array;
      var pieces = new Array(sources.length);
      var take = function () {
        var arrays = [];
        for (var i = 0; i < pieces.length; ++i) {
          if (!pieces[i] || pieces[i].byteLength % Type.BYTES_PER_ELEMENT !== 0) {
            received[name] = null;
            return;
          }
          arrays.push(new Type(pieces[i]));
        }
        received[name] = arrays;
      };
      sources.forEach(function (source, i) {
        if (source.indexOf("qmsite:") === 0) {
          fetchBytes(source, function (bytes) { pieces[i] = bytes; });
        } else {
          pieces[i] = decode(source, Uint8Array).buffer;
        }
      });
      inOrder(take)();
    },

    // Whether arrays are still being fetched (the calls after them not yet done).
    busy: function () { return fetching > 0 || held.length > 0; },

    // As busy(); when busy, the host is told through its channel once the page no longer is, with
    // the host's number of the update that asked.
    busyThenTell: function (serial) {
      var busy = fetching > 0 || held.length > 0;
      if (busy) { idleSerial = Math.max(idleSerial, serial); }
      return busy;
    },

    // Takes the received arrays of n readings: "x" and "y", their points on the web map as
    // fractions of its world (x eastwards from 180 W, y southwards from its north edge), given as
    // offsets from (x0, y0); and "value". Shows `bounds` [south, west, north, east]; with no
    // reading it says so and shows the world.
    load: inOrder(function (n, bounds, x0, y0) {
      var mx = received.x, my = received.y, value = received.value;
      received = {};
      // The three arrays in pieces alike, all but the last of one size, n readings in all.
      var whole = !!(n && mx && my && value && mx.length > 0 && my.length === mx.length && value.length === mx.length);
      var total = 0;
      for (var p = 0; whole && p < mx.length; ++p) {
        var m = mx[p].length;
        whole = my[p].length === m && value[p].length === m && (p === mx.length - 1 || m === mx[0].length);
        total += m;
      }
      data = whole && total === n ? { n: n, x0: x0 || 0, y0: y0 || 0, mx: mx, my: my, value: value, size: mx[0].length }
                                  : NO_DATA;
      n = data.n;
      pyramid = null;
      changed();
      selection = { first: -1, last: -1, ring: -1 };
      spikes = [];
      hideTip();
      document.getElementById("message").hidden = n > 0;
      if (n > 0 && pendingView) {
        showPendingView();
      } else if (n > 0 && bounds) {
        fitSite(bounds);
      } else {
        fitted = null;
        map.setView([20, 0], 1, { animate: false });
      }
      updateLegend();
    }),

    // The colour scale: its range, the centre value, 256 colours from min to max as r, g, b
    // triples, and the legend's ticks as {at: fraction of the range, text}.
    setScale: inOrder(function (given) {
      var max = given.max > given.min ? given.max : given.min + 1;
      var lut = new Uint32Array(256);
      for (var i = 0; i < 256 && 3 * i + 2 < given.colours.length; ++i) {
        lut[i] = (0xff000000 | (given.colours[3 * i + 2] << 16) | (given.colours[3 * i + 1] << 8) | given.colours[3 * i]) >>> 0;
      }
      // The same scale again (the values came back unchanged) leaves the dots as they are.
      var same = given.min === scale.min && max === scale.max && given.centre === scale.centre && !!scale.lut &&
                 lut.every(function (colour, k) { return colour === scale.lut[k]; });
      if (pyramid && given.centre !== scale.centre) { pyramid.reps = null; } // the cells' readings follow the centre
      scale.min = given.min;
      scale.max = max;
      scale.centre = given.centre;
      scale.lut = lut;
      scale.ticks = given.ticks.slice();
      histogram = given.histogram || null;
      if (data.n > 0 && !same) { changed(); } // the legend alone shows it on an empty map
      updateLegend();
    }),

    // New values for the n readings loaded, from the received "value" array in the same pieces;
    // NaN is drawn as no dot. Values that do not fit the readings are left out.
    setValues: inOrder(function (n) {
      var value = received.value;
      delete received.value;
      var fits = !!(value && n === data.n && value.length === data.value.length);
      for (var p = 0; fits && p < value.length; ++p) { fits = value[p].length === data.value[p].length; }
      if (!fits) { return; }
      data.value = value;
      if (pyramid) { pyramid.reps = null; }
      hideTip();
      changed();
    }),

    // The pyramid of the readings loaded, from the received arrays "order", "cell" and "first" and
    // its levels [{zoom, originX, originY, offset, count, firstOffset}], finest first. Its cells'
    // readings come by setReps.
    setPyramid: inOrder(function (n, levels) {
      var order = received.order, cell = received.cell, first = received.first;
      delete received.order;
      delete received.cell;
      delete received.first;
      pyramid = null;
      if (!order || !cell || !first || n !== data.n || levels.length === 0) { return; }
      var last = levels[levels.length - 1];
      if (cell[0].length !== last.offset + last.count || first[0].length !== last.firstOffset + last.count + 1) { return; }
      pyramid = { levels: levels, order: order[0], cell: cell[0], first: first[0], reps: null };
    }),

    // Each pyramid cell's reading for the values and centre on the page now, from the received
    // array "reps"; the host sends it only while they are current.
    setReps: inOrder(function (n) {
      var reps = received.reps;
      delete received.reps;
      if (!pyramid || n !== data.n || !reps || reps[0].length !== pyramid.cell.length) { return; }
      pyramid.reps = reps[0];
      changed();
    }),

    // The readings flagged as spikes, by index: the received array "spikes" (no piece: none).
    setSpikes: inOrder(function () {
      var got = received.spikes;
      delete received.spikes;
      var list = got && got.length > 0 ? got[0] : [];
      if (spikes.length > 0 || list.length > 0) { changed(); }
      spikes = list;
    }),

    // The selected file's readings [first, last) and the ringed reading, indices into the arrays.
    select: inOrder(function (first, last, ring) {
      if (first !== selection.first || last !== selection.last || ring !== selection.ring) { changed(); }
      selection = { first: first, last: last, ring: ring };
    }),

    setBasemap: inOrder(function (name) {
      if (!basemaps[name]) { return; }
      for (var key in basemaps) {
        if (map.hasLayer(basemaps[key])) { map.removeLayer(basemaps[key]); }
      }
      basemaps[name].addTo(map);
      basemapName = name;
    }),

    // The grid's image (a data address) between [south, west, north, east], at an opacity of 0 to 1.
    setGrid: inOrder(function (url, bounds, opacity) {
      qmSite.clearGrid();
      gridBounds = bounds.slice();
      gridOverlay = L.imageOverlay(url, [[bounds[0], bounds[1]], [bounds[2], bounds[3]]],
                                   { opacity: opacity, interactive: false, className: "qm-grid-image" }).addTo(map);
    }),

    clearGrid: inOrder(function () {
      if (gridOverlay) { map.removeLayer(gridOverlay); }
      gridOverlay = null;
      gridBounds = null;
    }),

    setGridOpacity: inOrder(function (opacity) {
      if (gridOverlay) { gridOverlay.setOpacity(opacity); }
    }),

    showDots: inOrder(function (shown) {
      if (shown !== dotsShown) { changed(); }
      dotsShown = shown;
      dotCanvas.style.display = shown ? "" : "none";
      if (!shown) { hideTip(); }
    }),

    // The grid's contour lines as thin lines over the grid and under the dots: the received array
    // "contour" holds their points (lat, lon, lat, lon, ...) line after line, `sizes` the points
    // of each line.
    setContours: inOrder(function (sizes) {
      var got = received.contour;
      delete received.contour;
      qmSite.clearContours();
      var p = got && got.length === 1 ? got[0] : new Float64Array(0);
      var latlngs = [], vertices = 0, next = 0;
      for (var k = 0; k < sizes.length; ++k) {
        var line = [], end = Math.min(next + 2 * sizes[k], p.length);
        for (var i = next; i + 1 < end; i += 2) { line.push([p[i], p[i + 1]]); }
        next = end;
        if (line.length >= 2) {
          latlngs.push(line);
          vertices += line.length;
        }
      }
      contourLayer = L.polyline(latlngs, { renderer: contourRenderer, color: "#1c1c1c", opacity: 0.85, weight: 1,
                                           interactive: false, smoothFactor: 0.5 }).addTo(map);
      contourStats = { lines: latlngs.length, vertices: vertices };
    }),

    clearContours: inOrder(function () {
      if (contourLayer) { map.removeLayer(contourLayer); }
      contourLayer = null;
      contourStats = { lines: 0, vertices: 0 };
    }),

    // The distance measure: while on, clicks on the map add points rather than select readings;
    // turning it on again starts a new line.
    setMeasuring: function (on) {
      measuring = !!on;
      measurePoints = [];
      measureMetres = 0;
      map.getContainer().style.cursor = measuring ? "crosshair" : "";
      if (measuring) { map.doubleClickZoom.disable(); } else { map.doubleClickZoom.enable(); }
      showReadout();
      changed();
      scheduleDraw();
    },

    // The legend's histogram alone, for the range drawn ({min, max, counts}, or null).
    setHistogram: inOrder(function (given) {
      histogram = given || null;
      var div = document.querySelector(".qm-legend");
      if (div) { drawHistogram(div); }
    }),

    // Fits the view to [south, west, north, east] ("Zoom to file").
    fitTo: inOrder(function (bounds) { fitSite(bounds); }),

    // The grid image as the page shows it, RGBA as base64, for checks from the hosting program.
    gridRgba: function () {
      if (!gridOverlay) { return null; }
      var img = gridOverlay.getElement();
      if (!img.complete || !img.naturalWidth) { return null; }
      var canvas = document.createElement("canvas");
      canvas.width = img.naturalWidth;
      canvas.height = img.naturalHeight;
      var ctx = canvas.getContext("2d");
      ctx.drawImage(img, 0, 0);
      var bytes = ctx.getImageData(0, 0, canvas.width, canvas.height).data;
      var text = "";
      for (var i = 0; i < bytes.length; i += 8192) {
        text += String.fromCharCode.apply(null, bytes.subarray(i, Math.min(bytes.length, i + 8192)));
      }
      return { width: canvas.width, height: canvas.height, data: btoa(text) };
    },

    redraw: inOrder(redraw),
    readingAt: readingAt,

    // The container point of a reading's dot, for checks from the hosting program.
    pointOf: function (index) {
      if (index < 0 || index >= data.n) { return null; }
      var frame = viewFrame();
      return { x: ((data.x0 + at(data.mx, index)) * frame.scale - frame.x) | 0,
               y: ((data.y0 + at(data.my, index)) * frame.scale - frame.y) | 0 };
    },

    // The value a reading's dot is coloured by (null for none drawn), for checks from the hosting program.
    valueOf: function (index) {
      if (index < 0 || index >= data.n) { return null; }
      var v = at(data.value, index);
      return v === v ? v : null;
    },

    // What the page shows, for checks from the hosting program.
    state: function () {
      var bounds = map.getBounds();
      return {
        readings: data.n,
        dots: stats.dots,
        // The zoom of the pyramid level the last frame drew from (-1: a pass over every reading),
        // and whether the pyramid's cells have their readings for what is shown now.
        level: stats.level,
        pyramid: !!(pyramid && pyramid.reps),
        drawMs: stats.drawMs,
        draws: stats.draws,
        legend: { min: scale.min, max: scale.max, ticks: scale.ticks.map(function (t) { return t.text; }),
                  ends: [cssColour(scale.lut[0]), cssColour(scale.lut[255])],
                  shown: !!document.querySelector(".qm-legend") && document.querySelector(".qm-legend").style.display !== "none" },
        selection: { first: selection.first, last: selection.last, ring: selection.ring },
        ringAt: stats.ringAt,
        spikes: spikes.length,
        spikeRings: stats.spikeRings,
        trackPoints: stats.trackPoints,
        trackPieces: stats.trackPieces,
        trackShown: track.shown,
        message: !document.getElementById("message").hidden,
        tip: tip.hidden ? "" : tip.textContent,
        basemap: basemapName,
        gridStep: stats.gridStep,
        zoom: map.getZoom(),
        view: { south: bounds.getSouth(), west: bounds.getWest(), north: bounds.getNorth(), east: bounds.getEast() },
        bridge: !!bridge,
        dotsShown: dotsShown,
        histogram: histogram && histogram.min === scale.min && histogram.max === scale.max ? histogram : null,
        contours: { lines: contourStats.lines, vertices: contourStats.vertices },
        pointer: pointerInside ? { lat: pointer.lat, lon: pointer.lon, text: pointer.text } : null,
        measure: { on: measuring, points: measurePoints.length, metres: measureMetres,
                   path: measurePoints.map(function (p) { return [p.lat, p.lng]; }) },
        readout: readoutDiv && readoutDiv.style.display !== "none" ? readoutDiv.textContent : "",
        grid: gridOverlay ? { bounds: gridBounds, opacity: gridOverlay.options.opacity,
                              loaded: gridOverlay.getElement().complete && gridOverlay.getElement().naturalWidth > 0,
                              width: gridOverlay.getElement().naturalWidth,
                              height: gridOverlay.getElement().naturalHeight } : null
      };
    }
  };
})(window);
